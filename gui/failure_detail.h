// The log line that follows "Failed: ..." and says what the failure was about.
#ifndef PACKGUI_FAILURE_DETAIL_H
#define PACKGUI_FAILURE_DETAIL_H

#include <QString>

#include <cstdint>

// What a run was given: the three paths as typed and the code area's two numbers.
struct RunInputs {
    QString oldLod;
    QString newLod;
    QString pack;
    uint32_t codeBase = 0;
    uint32_t codeSize = 0;
};

// For a misaligned code area the value at fault; for a file that could not be
// read, checked or written its absolute path with what the system says against
// it. Empty for results that concern neither.
QString failureDetail(int result, const RunInputs &inputs);

#endif
