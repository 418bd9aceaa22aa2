// Where the record of the wizard's runs lies, and how lines reach it: the
// file <local application data>\<program>\<program>.log, appended to in one
// write while no other program may write to it, so that lines of two runs
// never mix. A record grown beyond kRotateBytes when a run first writes to
// it is moved aside to <program>.old.log (replacing the one before), so two
// generations are kept and a run's lines stay together in one file.
#pragma once

#include <string>

namespace record {

const unsigned long kRotateBytes = 256UL * 1024;

// Appends text (whole lines, UTF-8) to the record of the program named
// programName (as its mutex is named); mayRotate for a run's first write.
// False when the folder is unknown, the file cannot be opened now (another
// program writes to it) or the write failed; the caller decides whether to
// try again later.
bool AppendToRecordFile(const std::string& programName, const std::string& text, bool mayRotate);

}  // namespace record
