#pragma once
// The application's start: libraries, shell, main window, message loop.
//
// Hidden switches for automated runs:
//   --settings FILE          settings file instead of option.ini
//   --home DIR               home folder for the default folders
//   --smoke-screenshot FILE  once the window is on screen, save a grab of it
//                            as PNG, print its caption, client size and the
//                            number of caption glyphs the fonts cannot draw,
//                            then quit
namespace vexa::app {

int RunApplication(int argc, char* argv[]);

}  // namespace vexa::app
