// vexa-cli: the converter without a window, for servers, scripts and SSH.
#include "cli/cli.h"

#include "platform/main_thread.h"

#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] =
    "Vexa全能视频格式转换器 - command-line converter\n"
    "\n"
    "usage:\n"
    "  vexa-cli presets [--category N]   list the categories and formats with their keys\n"
    "  vexa-cli probe [--] FILE...       describe media files\n"
    "  vexa-cli convert [options] [--] FILE...  convert files with a format preset\n"
    "  vexa-cli play [options] FILE      play a file (window \"FFPlayer\"; ends at its end)\n"
    "  vexa-cli --help                   this text\n"
    "\n"
    "presets:\n"
    "  Every format has a key: the hundreds name its category (1 to 35), the rest\n"
    "  its place in the category. --category N lists category N only.\n"
    "\n"
    "convert options:\n"
    "  --preset KEY          output format (default 100)\n"
    "  --output DIR          output folder (default: the folder of option.ini, else\n"
    "                        ~/Vexa视频软件/输出)\n"
    "  --size TEXT           frame size as the format's list shows it, e.g. 1280*720\n"
    "  --vbitrate TEXT       video bit rate, e.g. \"768 kbps\"\n"
    "  --rate TEXT           frame rate, e.g. 25\n"
    "  --abitrate TEXT       audio bit rate, e.g. \"128 kbps\"\n"
    "  --samplerate TEXT     sample rate, e.g. 44100\n"
    "  --aspect TEXT         display aspect, e.g. 16:9\n"
    "                        (each value must be in the format's list; \"keep\" is\n"
    "                        accepted where the list offers keeping the input's value)\n"
    "  --threads N           files converted at once, 1 to 19 (default 1)\n"
    "  --priority P          idle, lowest, lower or normal (default normal)\n"
    "  --overwrite           replace existing outputs instead of numbering new names\n"
    "  --option NAME=VALUE   engine option for every output (repeatable); it decides\n"
    "                        over the preset and the options above. A name neither\n"
    "                        the engine nor the libraries know gets a warning.\n"
    "  --log-level LEVEL     quiet, panic, fatal, error, warning, info, verbose, debug\n"
    "  --json                one JSON object per progress and end event on stdout;\n"
    "                        a byte of a file name that is not UTF-8 shows as \\ufffd\n"
    "  --                    every argument after it is a file (names beginning with -)\n"
    "\n"
    "play options:\n"
    "  --no-video            no window: sound only (pictures are not shown)\n"
    "  --no-audio            sound to SDL's silent driver instead of the sound card\n"
    "  --seek SECONDS        start at this time\n"
    "  --json                one JSON object per state and position event\n"
    "  --log-level LEVEL     as for convert (default error)\n"
    "  play exits 0 at the file's end (or when its window is closed), 1 when the\n"
    "  file cannot be played or Ctrl-C stopped it.\n"
    "\n"
    "exit status: 0 every job finished, 1 a job failed or was stopped, 2 usage error.\n"
    "Ctrl-C stops the run; outputs written so far stay valid and shorter.\n";

}  // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    vexa::platform::MainThread::SetCurrentAsMain();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? vexa::cli::kExitUsage : vexa::cli::kExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "presets")
            return vexa::cli::RunPresets(args);
        if (command == "probe")
            return vexa::cli::RunProbe(args);
        if (command == "convert")
            return vexa::cli::RunConvert(args);
        if (command == "play")
            return vexa::cli::RunPlay(args);
        throw vexa::cli::UsageError{"unknown command '" + command + "'"};
    } catch (const vexa::cli::UsageError& e) {
        std::fprintf(stderr, "vexa-cli: %s\nTry 'vexa-cli --help'.\n", e.text.c_str());
        return vexa::cli::kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa-cli: %s\n", e.what());
        return vexa::cli::kExitFailed;
    }
}
