// The program's windows for a benchmark: an application, a core over a
// settings store in memory and folders of its own, and the main frame shown
// (offscreen unless a platform is set), as a user starts it.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "app/AppCore.h"
#include "app/MainFrame.h"
#include "location/LocationRecord.h"

class CBenchPrompter;

class CBenchProgram {
 public:
  CBenchProgram(int& argc, char** argv);
  ~CBenchProgram();

  CAppCore& Core() { return *m_core; }
  CMainFrame& Frame() { return *m_frame; }
  // Runs what the event loop has waiting: layouts, and the paints they ask for.
  static void Settle();
  // Settles, then lets the event loop run for ms so that work a widget put
  // off on a timer is done too.
  static void SettleFor(int ms);

 private:
  std::unique_ptr<QApplication> m_application;
  QTemporaryDir m_programFolder;
  QTemporaryDir m_dataFolder;
  std::unique_ptr<CBenchPrompter> m_prompter;
  std::unique_ptr<CAppCore> m_core;
  std::unique_ptr<CMainFrame> m_frame;
};

// count records a day's fixes apart around Tokyo, most with a short note,
// some with none and one in ten with a note that wraps in a narrow pane.
std::vector<CLocationRecord> MakeBenchRecords(int count);

// The processor time of the whole process, in milliseconds: the machine may
// be shared, and waiting for a timer costs none.
double ProcessorMilliseconds();
// The median of the times in milliseconds.
double Median(std::vector<double> times);
