#include "app/AppStrings.h"

#include <map>
#include <stdexcept>

namespace {

const std::map<uint32_t, const char*>& Table() {
  static const std::map<uint32_t, const char*> table = {
      {IDS_TITLE, "Quor Lumo Folvane"},
      {IDS_PANE_FOLDER, "フォルダ"},
      {IDS_PANE_SEARCH, "検索"},
      {IDS_FILE_FOLDER, "ファイル"},
      {IDS_DATABASE_FOLDER, "マイルモ"},
      {IDS_NEW_FILE, "新規ファイル"},
      {IDS_READY, "レディ"},
      {IDS_SEARCH_RESULTS, "検索結果"},
      {IDS_SCALE_SUFFIX, "分の1"},
      {IDS_NO_NEW_MESSAGES, "新規メッセージはありません。"},
      {IDS_MESSAGES_RECEIVED, "メッセージを受信しました。件数: "},
      {IDS_FILE_FILTER, "XML ファイル (*.xml)\n*.xml\nすべてのファイル (*.*)\n*.*\n"},
      {IDS_ASK_CREATE_DATABASE_FIRST,
       "位置記録データベースを自動作成しますか。初めて起動したときは、通常「はい」を選んでください。"
       "ここで「いいえ」を選んでも、後から作成することができます。\n"},
      {IDS_ASK_CREATE_MAPS_FIRST,
       "地図設定ファイルを自動作成しますか。初めて起動したときは、通常「はい」を選んでください。"
       "ここで「いいえ」を選んでも、後から作成することができます。\n"},
      {IDS_ASK_CREATE_DATABASE, "位置記録データベースが見つかりません。新規作成しますか。\n"},
      {IDS_ASK_CREATE_MAPS, "地図定義ファイルが見つかりません。新規作成しますか。\n"},
      {IDS_NOT_CONNECTED,
       "インターネットに接続できません。ネットワークとプロキシの設定を確認してください。\n"},
      {IDS_MAPS_INVALID, "ファイルは見つかりましたが、形式が不正なため、読み込めません。\n"},
      {IDS_MAPS_NOT_FOUND, "ファイルが見つかりません。\n"},
      {IDS_ASK_SAVE_CHANGES, "%1 への変更を保存しますか。\n"},
      // Command strings: prompt, "\n", short name.
      {32772, "表示中の位置記録がすべて画面内に収まるように、縮尺を調整します。\nフィット"},
      {32773, "地図の表示を拡大します。\n拡大"},
      {32774, "地図の表示を縮小します。\n縮小"},
      {32777, "隣接する位置記録間を、直線で結びます。\n位置間を線で結ぶ"},
      {32778,
       "希望の範囲を選択して、その範囲が画面いっぱいになるよう、地図の縮尺を変更します。\n範囲拡大"},
      {32779, "位置記録のフォルダを表示します。\nフォルダ"},
      {32780, "位置やメモなどから位置記録を検索します。\n検索"},
      {32784, "メッセージサーバーから、最新の位置記録をダウンロードします。\n受信"},
      {32785, "アプリケーションの設定を変更します。\nオプション"},
      {32786, "地図設定ファイルを読み込みなおして、地図画像の表示を更新します。\n再読み込み"},
      {32798, "選択している位置記録を、テキストとしてクリップボードにコピーします。\nテキストとしてコピー"},
      {32797, "選択している位置記録が中心にくるように、地図を移動します。\n中心"},
      {57600, "新規に位置記録ファイルを作成します。\n新規"},
      {57601, "既存の位置記録ファイルを開きます。\n開く"},
      {57602, "作業中の位置記録ファイルを閉じます。\n閉じる"},
      {57603, "作業中の位置記録ファイルを上書きして保存します。\n上書き保存"},
      {57604, "作業中の位置記録ファイルを新しい名前で保存します。\n名前を付けて保存"},
      {57664, "プログラムの情報、バージョン番号、著作権情報を表示します。\nこのプログラムについて"},
      {57665, "アプリケーションを終了します。\n終了"},
      {57666, "使い方を説明するヘルプを開きます。\nヘルプ"},
      {59392, "ツールバーの表示/非表示を切り替えます\nツールバー"},
      {59393, "ステータスバーの表示/非表示を切り替えます\nステータスバー"},
  };
  return table;
}

}  // namespace

std::string LoadAppString(uint32_t id) {
  const auto it = Table().find(id);
  if (it == Table().end()) throw std::out_of_range("String Resource Not Found: " + std::to_string(id));
  return it->second;
}

bool HasAppString(uint32_t id) { return Table().count(id) != 0; }

std::string CommandPrompt(uint32_t id) {
  if (!HasAppString(id)) return {};
  const std::string text = LoadAppString(id);
  return text.substr(0, text.find('\n'));
}

std::string CommandShortName(uint32_t id) {
  if (!HasAppString(id)) return {};
  const std::string text = LoadAppString(id);
  const auto cut = text.find('\n');
  return cut == std::string::npos ? std::string() : text.substr(cut + 1);
}
