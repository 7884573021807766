#pragma once
// Turning one media file into a job: the input is tried with the engine's
// probe, a check task opens it, the chosen format's preset with the option
// pickers' choices becomes the output record, the task's output is set up
// (which creates the output file), and only then the row and slot are added.
// The desktop window and the headless converter add files through this.
#include "jobs/job_list.h"
#include "catalogue/preset_pickers.h"
#include "engine/ff_engine.h"

#include <functional>
#include <string>
#include <vector>

namespace vexa::app {

struct TAddOutcome {
    enum TKind {
        akAdded,    // the row was appended
        akSkipped,  // the probe could not read the file: try the next one
        akStopped,  // the engine refused the task or its output: end the adding
        akFull,     // no option slot is free
    };
    TKind Kind = akSkipped;
    int Row = -1;
    // Lines for the job log, in order.
    std::vector<std::string> Log;
    // The reason in one line, for a user who is shown it.
    std::string Message;
};

// Picker host of a converter without a job list on screen: no row is ever
// selected, so the pickers only feed the job defaults.
class THeadlessPickerHost : public catalogue::TPickerHost {
public:
    THeadlessPickerHost(std::string folder, bool overwrite) : folder_(std::move(folder)), overwrite_(overwrite) {}
    bool HasSelectedRow() const override { return false; }
    std::string SelectedRowColumn(int) const override { return {}; }
    void SetSelectedRowColumn(int, const std::string&) override {}
    std::string OutputFolder() const override { return folder_; }
    bool OverwriteOutput() const override { return overwrite_; }

private:
    std::string folder_;
    bool overwrite_;
};

class TJobAdder {
public:
    TJobAdder(TCustomFFEngine& engine, catalogue::TPresetPickers& pickers, TJobList& jobs)
        : engine_(engine), pickers_(pickers), jobs_(jobs) {}

    // Loads the engine's libraries from the library folder when they are not
    // loaded; false with the engine's message otherwise.
    bool EnsureLibraries(std::string& message);

    // Adds one file (a full path) with the format and option choices the
    // pickers show. The selected row of the pickers' host is left alone.
    TAddOutcome AddFile(const std::string& file);

    // name=value lines for every new output that decide over the preset and
    // the pickers (the user's last word).
    std::string ExtraOutputOptions;

    // Where a new row with its records goes: the job list itself unless this
    // is set (a window's table model must see the row enter). False when no
    // slot is free.
    std::function<bool(TJobRow row, const TInputOptions& input, const TOutputOptions& output)> AppendRow;

private:
    TCustomFFEngine& engine_;
    catalogue::TPresetPickers& pickers_;
    TJobList& jobs_;
};

}  // namespace vexa::app
