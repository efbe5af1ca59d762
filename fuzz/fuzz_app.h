#pragma once
#include <QGuiApplication>

#include "addins/addins.h"
#include "printing/tfr_printer.h"

namespace orv::fuzz {

// What the reader has running before it reads anything, made once per
// process: a GUI application object on the offscreen platform, the printer
// model on its virtual printer, and the add-in classes.
inline void startUp() {
  static const bool started = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    TfrPrinter::startUp(nullptr);
    registerAddIns();
    return true;
  }();
  (void)started;
}

}  // namespace orv::fuzz
