#include "wizard/version_decision.h"

VersionVerdict DecideUpdate(int plotterVersion, int fileVersion, int spoolerLimit) {
    VersionVerdict verdict{UpdateDecision::Needed, false};
    bool refused = false;
    if (spoolerLimit > 0 && spoolerLimit >= plotterVersion) {
        verdict.throughSpooler = true;
        refused = fileVersion > spoolerLimit;
    } else if (spoolerLimit > 0) {
        refused = fileVersion < spoolerLimit;
    }
    if (refused) verdict.decision = UpdateDecision::WrongGeneration;
    else if (fileVersion <= plotterVersion) verdict.decision = UpdateDecision::AlreadyCurrent;
    return verdict;
}

CString FormatVersion(int version) {
    // The sign goes in front once, rather than before both halves.
    const long long v = version;
    const long long magnitude = v < 0 ? -v : v;
    CString text;
    text.Format("%s%lld.%02lld", v < 0 ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}
