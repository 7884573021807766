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
//   --run-screenshot FILE    start the run through the toolbar once the files
//                            of the command line are listed, save a grab while
//                            a row shows progress (FILE with "-during" before
//                            ".png") and one after the run as FILE, print the
//                            outputs (and how many preview windows were open
//                            during the run), then quit
// Any other argument is a file (or folder) to add at start-up.
namespace vexa::app {

int RunApplication(int argc, char* argv[]);

// The user's locale for everything but numbers, which stay in the C form.
void SetProcessLocale();

}  // namespace vexa::app
