#pragma once
// The rules between job defaults, job rows and the engine's records: what a
// new job's output record and row hold, and what each task of a run gets
// from its row and slot.
#include "jobs/job_list.h"
#include "catalogue/job_defaults.h"
#include "engine/ff_options.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::app {

// The job defaults into a freshly reset output record, as a new job gets
// them. Raises vexa::Error for a channel count, sample rate or volume text
// that is not an integer.
void FillOutputFromDefaults(const catalogue::TJobDefaults& defaults, TOutputOptions& output);

struct TNewJob {
    std::string InputFile;
    int64_t DurationUs = 0;  // from the probe; 0 or less when unknown
    int64_t FileSize = 0;
    int TaskIndex = -1;      // the check task's index in the engine
    int PresetKey = 0;
    std::string OptionIndexString;
    TOutputOptions Output;   // after the output was set up: FileName is the full path
    catalogue::TJobDefaults Defaults;
};

// The 25 columns of a new job's row.
TJobRow MakeJobRow(const TNewJob& job);

// A run's view of a row: every record field a column names is taken from the
// column. A column that leaves a value to the encoder or the input ("-1000",
// "AUTO", empty) resets the field, so a value the job once had never
// outlives a later change of its format or options. Raises vexa::Error for a
// number column holding other text.
void UpdateOutputFromRow(const TJobRow& row, TOutputOptions& output);

struct TRunTask {
    std::string InputFile;
    TInputOptions Input;
    std::string OutputFile;  // folder + "/" + column 3
    TOutputOptions Output;
};

// One task per row in row order, from the row and its slot. Every row is
// checked before any task is returned, so a bad row starts nothing.
std::vector<TRunTask> BuildRunTasks(const TJobList& jobs, std::string_view outputFolder);

TOptionTargetType TargetTypeFromText(std::string_view text);  // "" or unknown: ttIgnore
TOptionNormType NormTypeFromText(std::string_view text);      // "" or unknown: ntAuto

}  // namespace vexa::app
