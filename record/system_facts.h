// What the record of a run says first about the program and the system it
// runs on, asked of the system once per run.
#pragma once

#include <string>

namespace record {

// The program's file version from its version block, "2.30.0.0", with the
// block's comment that names the commit it was built from when there is one:
// "2.30.0.0, Commit 38657c0..."; "unknown" without a version block.
std::string ProgramVersion();

// "10.0.19045 workstation", with the service pack when there is one.
std::string WindowsVersion();

// The user's interface language and the language of the texts the program
// shows: "0x0411, texts Japanese".
std::string Language();

}  // namespace record
