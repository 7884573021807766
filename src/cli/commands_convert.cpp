// Conversion from the command line: every file becomes a job exactly as the
// desktop application makes one, then the engine runs them.
#include "jobs/app_settings.h"
#include "jobs/job_adder.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "catalogue/catalogue.h"
#include "catalogue/job_columns.h"
#include "catalogue/option_lists.h"
#include "catalogue/preset_pickers.h"
#include "cli/cli.h"
#include "cli/console.h"
#include "engine/ff_engine.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace vexa::cli {
namespace {

using catalogue::TOptionKind;

struct TConvertArgs {
    int presetKey = 100;
    std::string outputFolder;
    std::string overrides[6];  // by TOptionKind
    bool hasOverride[6] = {};
    int threads = 1;
    platform::TThreadPriority priority = platform::TThreadPriority::tpNormal;
    bool overwrite = false;
    std::string extOptions;
    std::vector<std::string> optionNames;  // of the --option lines, lower case
    std::string logLevel = "error";
    bool json = false;
    std::vector<std::string> files;
};

// The override options and the option picker each one sets.
constexpr std::pair<const char*, TOptionKind> kOverrideFlags[] = {
    {"--size", catalogue::okFrameSize},        {"--vbitrate", catalogue::okVideoBitrate},
    {"--rate", catalogue::okFrameRate},        {"--abitrate", catalogue::okAudioBitrate},
    {"--samplerate", catalogue::okSampleRate}, {"--aspect", catalogue::okAspect}};

const char* OverrideFlag(TOptionKind kind)
{
    for (const auto& [flag, k] : kOverrideFlags)
        if (k == kind)
            return flag;
    return "?";
}

TConvertArgs ParseArgs(const std::vector<std::string>& args)
{
    TConvertArgs a;
    bool filesOnly = false;  // after "--" every argument is a file
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (filesOnly) {
            a.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        bool isOverride = false;
        for (const auto& [name, kind] : kOverrideFlags) {
            if (arg == name) {
                a.overrides[kind] = value();
                a.hasOverride[kind] = true;
                isOverride = true;
            }
        }
        if (isOverride)
            continue;
        if (arg == "--preset") {
            a.presetKey = ParseInt(value(), "--preset", 100, 3599);
            if (!catalogue::FindFormat(a.presetKey))
                throw UsageError{"unknown preset key " + args[i] + " (see 'vexa-cli presets')"};
        } else if (arg == "--output") {
            a.outputFolder = value();
        } else if (arg == "--threads") {
            a.threads = ParseInt(value(), "--threads", 1, 19);
        } else if (arg == "--priority") {
            const std::string& p = value();
            if (p == "idle") a.priority = platform::TThreadPriority::tpIdle;
            else if (p == "lowest") a.priority = platform::TThreadPriority::tpLowest;
            else if (p == "lower") a.priority = platform::TThreadPriority::tpLower;
            else if (p == "normal") a.priority = platform::TThreadPriority::tpNormal;
            else throw UsageError{"--priority takes idle, lowest, lower or normal"};
        } else if (arg == "--overwrite") {
            a.overwrite = true;
        } else if (arg == "--option") {
            const std::string& o = value();
            const size_t eq = o.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError{"--option takes NAME=VALUE"};
            a.extOptions += o + "\n";
            std::string name = o.substr(0, eq);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            a.optionNames.push_back(name);
        } else if (arg == "--log-level") {
            a.logLevel = value();
        } else if (arg == "--json") {
            a.json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"convert: unknown option '" + arg + "' (put file names that begin with '-' after '--')"};
        } else {
            a.files.push_back(arg);
        }
    }
    if (a.files.empty())
        throw UsageError{"convert: no file given"};
    return a;
}

// Chooses the entry a user named; "keep" stands for the list's keep entry.
void ApplyOverride(catalogue::TPresetPickers& pickers, TOptionKind kind, const std::string& text)
{
    std::string wanted = text;
    if (text == "keep")
        wanted = kind == catalogue::okFrameSize ? std::string(catalogue::kKeepSize)
                 : kind == catalogue::okFrameRate ? std::string(catalogue::kKeepRate)
                 : kind == catalogue::okAspect    ? std::string(catalogue::kKeepAspect)
                                                  : text;
    const auto& items = pickers.Picker(kind).Items();
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == wanted) {
            pickers.SelectOption(kind, static_cast<int>(i));
            return;
        }
    }
    std::string list;
    for (const auto& item : items)
        list += (list.empty() ? "" : ", ") + std::string(item);
    throw UsageError{std::string(OverrideFlag(kind)) + " '" + text + "' is not offered by format " +
                     std::to_string(pickers.CurrentKey()) + " (choices: " + list + ")"};
}

std::string DefaultOutputFolder()
{
    const app::TSettingsLocation where = app::DefaultSettingsLocation();
    platform::IniFile ini(where.IniPath);
    const std::string stored = ini.ReadString("OutPath", "OutPath", "Error");
    return stored == "Error" ? app::DefaultOutputFolder(where.HomeFolder) : stored;
}

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int)
{
    g_interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the process at once
}

std::string ProgressLine(const TJobState& j)
{
    const TProgressInfo& p = j.progress;
    std::string percent = p.TotalDuration > 0 ? std::to_string(p.CurrentDuration * 100 / p.TotalDuration) + "%" : "N/A";
    std::string line = platform::ExtractFileName(j.input) + "  " + percent + "  " +
                       app::DurationTextUs(p.CurrentDuration) + "  " + app::SizeText(p.CurrentSize);
    if (p.FPS > 0)
        line += "  " + std::to_string(p.FPS) + " fps";
    return line;
}

}  // namespace

int RunConvert(const std::vector<std::string>& argv)
{
    TConvertArgs args = ParseArgs(argv);
    SetupLogging(args.logLevel);
    TConsole console(args.json);

    // The output folder must exist and take files before anything is tried.
    std::string folder = args.outputFolder.empty() ? DefaultOutputFolder() : args.outputFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!platform::ForceDirectories(folder) || ::access(folder.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "vexa-cli: cannot write to the output folder %s\n", folder.c_str());
        return kExitFailed;
    }

    // Declared before the engine: the engine's end-event threads use them,
    // and the engine waits for those threads when it goes.
    std::vector<TJobState> states;
    std::vector<int> rowToState;
    std::mutex stateLock;
    std::atomic<bool> runEnded{false};
    std::atomic<int> tasksEnded{0};

    TFFEngine engine;
    app::THeadlessPickerHost host(folder, args.overwrite);
    catalogue::TPresetPickers pickers(host);
    pickers.SetCategoryIndex(catalogue::KeyCategory(args.presetKey));
    pickers.SetFormatIndex(catalogue::KeyFormat(args.presetKey));
    for (int k = 0; k < 6; ++k)
        if (args.hasOverride[k])
            ApplyOverride(pickers, static_cast<TOptionKind>(k), args.overrides[k]);

    app::TJobList jobs;
    app::TJobAdder adder(engine, pickers, jobs);
    adder.ExtraOutputOptions = args.extOptions;
    std::string libError;
    if (!adder.EnsureLibraries(libError)) {
        std::fprintf(stderr, "vexa-cli: %s\n", libError.c_str());
        return kExitFailed;
    }

    // Jobs, in the order given.
    for (const std::string& file : args.files) {
        TJobState st;
        st.input = file;
        if (!platform::FileExists(file)) {
            st.state = TJobState::jsSkipped;
            st.message = "no such file";
            console.Error(file + ": no such file");
        } else {
            const app::TAddOutcome out = adder.AddFile(file);
            if (out.Kind == app::TAddOutcome::akAdded) {
                st.output = folder + "/" + jobs.Cell(out.Row, catalogue::jcOutputFile);
                rowToState.push_back(static_cast<int>(states.size()));
            } else {
                st.state = TJobState::jsSkipped;
                st.message = out.Message;
                console.Error(out.Message.find(file) == std::string::npos ? file + ": " + out.Message : out.Message);
            }
        }
        states.push_back(st);
    }

    int status = kExitOk;
    for (const TJobState& s : states)
        if (s.state == TJobState::jsSkipped)
            status = kExitFailed;

    if (jobs.Count() > 0) {
        const std::vector<app::TRunTask> tasks = app::BuildRunTasks(jobs, folder);
        engine.ClearTasks();
        std::vector<std::string> warned;
        for (const app::TRunTask& t : tasks) {
            const int index = engine.AddTask(t.InputFile, &t.Input);
            if (index < 0 || !engine.SetOutputFile(index, t.OutputFile, &t.Output)) {
                // The job could be set up moments ago; report what changed.
                console.Error(t.InputFile + ": " + engine.LastErrMsg());
                engine.ClearTasks();
                return kExitFailed;
            }
            // The engine passes names it does not know to the libraries,
            // which ignore the ones they do not know either: say so.
            if (const TFFOptions* opts = engine.Task(index)->LibraryOptions())
                for (const std::string& name : opts->UnknownNames())
                    if (std::find(args.optionNames.begin(), args.optionNames.end(), name) != args.optionNames.end() &&
                        std::find(warned.begin(), warned.end(), name) == warned.end()) {
                        warned.push_back(name);
                        console.Error("warning: option '" + name +
                                      "' is known neither to the engine nor to the libraries; ignored");
                    }
        }
        engine.OnProgress = [&](TCustomFFEngine*, TProgressInfo& info) {
            TJobState* job = nullptr;
            {
                std::lock_guard<std::mutex> g(stateLock);
                if (info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(rowToState.size()))
                    return;
                job = &states[static_cast<size_t>(rowToState[static_cast<size_t>(info.TaskIndex)])];
                job->state = TJobState::jsRunning;
                job->progress = info;
            }
            console.Progress(info.TaskIndex, *job, ProgressLine(*job));
        };
        engine.OnTerminate = [&](TCustomFFEngine*, const TTerminateInfo& info) {
            {
                std::lock_guard<std::mutex> g(stateLock);
                console.QueueEnd(info);
                if (info.TaskIndex < 0) {
                    runEnded.store(true);
                } else if (info.TaskIndex < static_cast<int>(rowToState.size())) {
                    ++tasksEnded;
                    TJobState& job = states[static_cast<size_t>(rowToState[static_cast<size_t>(info.TaskIndex)])];
                    job.state = info.Exception ? TJobState::jsFailed
                                : info.Finished ? TJobState::jsFinished
                                                : TJobState::jsStopped;
                    job.message = info.ExceptionMsg;
                    if (info.InputDeclared > 0) {
                        job.inputEndedEarly = true;
                        job.message = "converted " + app::DurationTextUs(info.InputReached) + " of " +
                                      app::DurationTextUs(info.InputDeclared);
                    }
                }
            }
            platform::MainThread::NotifyWaiters();
        };
        engine.SetThreadPriority(args.priority);
        std::signal(SIGINT, &OnInterrupt);
        engine.Start(args.threads);
        bool stopping = false;
        // Each end event comes on a thread of its own, so the run's end may
        // overtake the last task's: wait for all of them.
        const int taskCount = static_cast<int>(tasks.size());
        auto allEnded = [&] { return runEnded.load() && tasksEnded.load() >= taskCount; };
        while (!allEnded()) {
            platform::MainThread::WaitServing([&] { return allEnded() || g_interrupted.load(); },
                                              std::chrono::milliseconds(250));
            {
                std::lock_guard<std::mutex> g(stateLock);
                console.FlushEnds(states, rowToState);
            }
            if (g_interrupted.load() && !stopping) {
                stopping = true;
                console.Error("stopping...");
                engine.Stop(true);
            }
        }
        std::signal(SIGINT, SIG_DFL);
        engine.ClearTasks();
        std::lock_guard<std::mutex> g(stateLock);
        console.FlushEnds(states, rowToState);
        for (const TJobState& s : states)
            if (s.state != TJobState::jsFinished)
                status = kExitFailed;
    }
    console.Summary(states);
    return status;
}

}  // namespace vexa::cli
