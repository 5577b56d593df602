#include "app/CommandTable.h"

#include "app/CommandIds.h"

namespace {

CMenuEntry Item(uint32_t id, const char* text) { return CMenuEntry{id, text, {}}; }
CMenuEntry Separator() { return CMenuEntry{}; }
CMenuEntry Popup(const char* text, std::vector<CMenuEntry> items) {
  return CMenuEntry{0, text, std::move(items)};
}

QKeySequence Keys(Qt::KeyboardModifiers modifiers, Qt::Key key) {
  return QKeySequence(QKeyCombination(modifiers, key));
}

}  // namespace

const std::vector<CMenuEntry>& FrameMenu() {
  static const std::vector<CMenuEntry> menu = {
      Popup("ファイル(&F)", {Item(ID_FILE_NEW, "新規作成(&N)"), Item(ID_FILE_OPEN, "開く(&O)..."),
                             Item(ID_FILE_CLOSE, "閉じる(&C)"), Separator(),
                             Item(ID_FILE_SAVE, "上書き保存(&S)"),
                             Item(ID_FILE_SAVE_AS, "名前を付けて保存(&A)..."), Separator(),
                             Item(ID_APP_EXIT, "終了(&X)")}),
      Popup("表示(&V)", {Item(ID_VIEW_FOLDER, "フォルダ(&F)"), Item(ID_VIEW_SEARCH, "検索(&S)"),
                         Separator(), Item(ID_VIEW_TOOLBAR, "ツールバー(&T)"),
                         Item(ID_VIEW_STATUS_BAR, "ステータスバー(&S)")}),
      Popup("地図(&M)", {Item(ID_MAP_ZOOM_IN, "拡大(&Z)"), Item(ID_MAP_ZOOM_OUT, "縮小(&H)"),
                         Item(ID_MAP_FIT, "フィット(&F)"), Item(ID_MAP_CENTER, "中心に移動(&M)"),
                         Item(ID_MAP_RANGE_ZOOM, "範囲を指定して拡大(&R)"), Separator(),
                         Item(ID_MAP_CONNECT, "位置間を線で結ぶ(&C)"), Separator(),
                         Item(ID_MAP_RELOAD, "地図画像を再読み込み(&E)")}),
      Popup("ツール(&T)", {Item(ID_TOOL_RECEIVE, "位置記録受信(&R)"), Separator(),
                           Item(ID_TOOL_OPTIONS, "オプション(&O)...")}),
      Popup("ヘルプ(&H)", {Item(ID_HELP_CONTENTS, "目次(&C)"), Separator(),
                           Item(ID_APP_ABOUT, "Quor Lumo Folvaneについて(&A)...")}),
  };
  return menu;
}

const std::vector<CMenuEntry>& RecordContextMenu() {
  static const std::vector<CMenuEntry> menu = {
      Item(ID_EDIT_NEW_RECORD, "新規作成(&W)"), Separator(),
      Item(ID_EDIT_CUT, "切り取り(&T)"),        Item(ID_EDIT_COPY, "コピー(&C)"),
      // Copy as text has its place beside Copy, in the menu of the records.
      Item(ID_EDIT_COPY_AS_TEXT, "テキストとしてコピー(&X)"),
      Item(ID_EDIT_PASTE, "貼り付け(&P)"),      Item(ID_EDIT_DELETE, "削除(&D)"),
      Separator(),                              Item(ID_EDIT_SELECT_ALL, "すべて選択(&A)"),
      Separator(),                              Item(ID_EDIT_PROPERTIES, "プロパティ(&R)..."),
  };
  return menu;
}

const std::vector<CAccelerator>& FrameAccelerators() {
  static const std::vector<CAccelerator> table = {
      {Keys(Qt::ControlModifier, Qt::Key_D), ID_VIEW_FOLDER},
      {Keys(Qt::ControlModifier, Qt::Key_F), ID_VIEW_SEARCH},
      {Keys(Qt::ControlModifier, Qt::Key_G), ID_MAP_CONNECT},
      {Keys(Qt::ControlModifier, Qt::Key_M), ID_TOOL_RECEIVE},
      {Keys(Qt::ControlModifier, Qt::Key_N), ID_FILE_NEW},
      {Keys(Qt::ControlModifier, Qt::Key_O), ID_FILE_OPEN},
      {Keys(Qt::ControlModifier, Qt::Key_S), ID_FILE_SAVE},
      {Keys(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Plus), ID_MAP_ZOOM_IN},
      {Keys(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Slash), ID_MAP_FIT},
      {Keys(Qt::NoModifier, Qt::Key_F1), ID_HELP_CONTENTS},
      {Keys(Qt::ControlModifier, Qt::Key_F4), ID_FILE_CLOSE},
      {Keys(Qt::NoModifier, Qt::Key_F5), ID_MAP_RELOAD},
      {Keys(Qt::NoModifier, Qt::Key_F6), ID_NEXT_PANE},
      {Keys(Qt::ShiftModifier, Qt::Key_F6), ID_PREV_PANE},
      {Keys(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Asterisk), ID_MAP_CENTER},
      {Keys(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Minus), ID_MAP_ZOOM_OUT},
  };
  return table;
}

const std::vector<CAccelerator>& RecordAccelerators() {
  static const std::vector<CAccelerator> table = {
      {Keys(Qt::ControlModifier, Qt::Key_A), ID_EDIT_SELECT_ALL},
      {Keys(Qt::ControlModifier, Qt::Key_C), ID_EDIT_COPY},
      {Keys(Qt::ControlModifier, Qt::Key_U), ID_EDIT_UNDO},
      {Keys(Qt::ControlModifier, Qt::Key_V), ID_EDIT_PASTE},
      {Keys(Qt::NoModifier, Qt::Key_Delete), ID_EDIT_DELETE},
      {Keys(Qt::NoModifier, Qt::Key_Insert), ID_EDIT_NEW_RECORD},
      {Keys(Qt::AltModifier, Qt::Key_Return), ID_EDIT_PROPERTIES},
      {Keys(Qt::ControlModifier, Qt::Key_X), ID_EDIT_CUT},
      {Keys(Qt::ControlModifier, Qt::Key_Y), ID_EDIT_REDO},
  };
  return table;
}

const std::vector<uint32_t>& FrameToolbar() {
  static const std::vector<uint32_t> toolbar = {
      ID_TOOL_RECEIVE, 0, ID_VIEW_FOLDER, ID_VIEW_SEARCH, 0,
      ID_MAP_ZOOM_OUT, ID_MAP_ZOOM_IN, ID_MAP_FIT, ID_MAP_CENTER, ID_MAP_RANGE_ZOOM,
  };
  return toolbar;
}

bool IsToolbarCheckButton(uint32_t id) {
  return id == ID_VIEW_FOLDER || id == ID_VIEW_SEARCH || id == ID_MAP_RANGE_ZOOM;
}

QKeySequence FindAccelerator(const std::vector<CAccelerator>& table, uint32_t id) {
  for (const CAccelerator& accelerator : table)
    if (accelerator.id == id) return accelerator.keys;
  return QKeySequence();
}
