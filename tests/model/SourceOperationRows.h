// A table of the device operations every source has, for the tests of the backup ("virtual")
// mode of the source drivers: each row is one operation with the answer the simulated source of
// the base gives while the source is virtual, and whether, out of virtual mode, the driver
// sends something for it. A driver's test replaces the rows it answers itself.
#pragma once

#include "devext/device/CDeviceA.h"
#include "drivers/model/CVideoSrcA.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace srctable {

constexpr int64_t kNoOut = -7; // what an out value holds when the operation left it alone

// What an operation gave while virtual: its result and its out value, where the simulated
// source stood afterwards and the device status code. The simulated source stands at 500,
// stopped, and the status is 5 before the operation.
struct Answer {
    int result;
    int64_t out = kNoOut;
    int32_t position = 500;
    int32_t status = DEVSTATUS_RUN_FAILED;
    bool operator==(const Answer &) const = default;
};

inline std::ostream &operator<<(std::ostream &os, const Answer &a)
{
    return os << "{result " << a.result << ", out " << a.out << ", position " << a.position
              << ", status " << a.status << "}";
}

// One operation: the call (its result, and its out value through `out`), its answer while
// virtual, and whether out of virtual mode it writes to the line.
template <class Source> struct Row {
    const char *name;
    std::function<int(Source &, int64_t &out)> call;
    Answer whileVirtual;
    bool reachesLine = false;
};

// The rows of `rows` named in `names`.
template <class Source>
std::vector<Row<Source>> Only(const std::vector<Row<Source>> &rows,
                              std::initializer_list<const char *> names)
{
    std::vector<Row<Source>> picked;
    for (const Row<Source> &row : rows)
        for (const char *name : names)
            if (std::string(row.name) == name) picked.push_back(row);
    return picked;
}

// The rows of `rows` but the one named `name`.
template <class Source>
std::vector<Row<Source>> Except(const std::vector<Row<Source>> &rows, const char *name)
{
    std::vector<Row<Source>> kept;
    for (const Row<Source> &row : rows)
        if (std::string(row.name) != name) kept.push_back(row);
    return kept;
}

template <class Source> void PrintTo(const Row<Source> &row, std::ostream *os)
{
    *os << row.name;
}

template <class Source> std::string RowName(const ::testing::TestParamInfo<Row<Source>> &info)
{
    return info.param.name;
}

// The operations every source has, with the simulated source's answers; `reaches` names those
// that reach the line out of virtual mode, `own` replaces the rows of the operations a driver
// answers itself while virtual.
template <class Source>
std::vector<Row<Source>> Rows(std::initializer_list<std::pair<const char *, bool>> reaches,
                              std::vector<Row<Source>> own = {})
{
    using S = Source;
    std::vector<Row<S>> rows = {
        {"DevOpen",
         [](S &s, int64_t &) { return s.DevOpen(); },
         {1, kNoOut, 500, DEVSTATUS_NORMAL}},
        {"DevIsOpen", [](S &s, int64_t &) { return s.DevIsOpen(); }, {1}},
        {"DevTest", [](S &s, int64_t &) { return s.DevTest(""); }, {1}},
        {"DevSetMode", [](S &s, int64_t &) { return s.DevSetMode(1); }, {1}},
        {"DevCueEx",
         [](S &s, int64_t &) { return s.DevCueEx("TAPE", 1000, 250, nullptr); },
         {1, kNoOut, 1000}},
        {"DevCue", [](S &s, int64_t &) { return s.DevCue("TAPE", 1000, 250); }, {1, kNoOut, 1000}},
        {"DevPlay", [](S &s, int64_t &) { return s.DevPlay(nullptr); }, {1}},
        {"DevStop", [](S &s, int64_t &) { return s.DevStop(); }, {1}},
        {"DevPause", [](S &s, int64_t &) { return s.DevPause(); }, {1}},
        {"DevContinue", [](S &s, int64_t &) { return s.DevContinue(); }, {1}},
        {"DevStep", [](S &s, int64_t &) { return s.DevStep(); }, {1}},
        {"DevEEMode", [](S &s, int64_t &) { return s.DevEEMode(2); }, {1}},
        {"DevJog", [](S &s, int64_t &) { return s.DevJog(10); }, {1, kNoOut, 510}},
        {"DevJogEx", [](S &s, int64_t &) { return s.DevJogEx(0, 10); }, {1, kNoOut, 510}},
        {"DevShuttle", [](S &s, int64_t &) { return s.DevShuttle(2.0); }, {1}},
        {"DevEject", [](S &s, int64_t &) { return s.DevEject(); }, {1, kNoOut, 0}},
        {"DevGoto", [](S &s, int64_t &) { return s.DevGoto(1000); }, {1, kNoOut, 1000}},
        {"DevIDReq",
         [](S &s, int64_t &out) {
             int present = kNoOut;
             const int result = s.DevIDReq("TAPE", present);
             out = present;
             return result;
         },
         {1, 1}},
        {"DevGetPosition",
         [](S &s, int64_t &out) {
             timecode_t position = kNoOut;
             const int result = s.DevGetPosition(0, position);
             out = position;
             return result;
         },
         {1, 500}},
        {"DevGetPosition2",
         [](S &s, int64_t &out) {
             timecode_t position = kNoOut;
             const int result = s.DevGetPosition2(0, position);
             out = position;
             return result;
         },
         {1, 500}},
        {"DevGetClipSize",
         [](S &s, int64_t &out) {
             timecode_t size = kNoOut;
             const int result = s.DevGetClipSize("TAPE", size);
             out = size;
             return result;
         },
         {1, 450000}},
        {"DevCheckCompatible",
         [](S &s, int64_t &) { return s.DevCheckCompatible("LVSRC_VTR", "TAPE"); },
         {1}},
        {"DevCheckCompatibleOtherType",
         [](S &s, int64_t &) { return s.DevCheckCompatible("LVSRC_DEC", "TAPE"); },
         {1}},
        {"PreviewGoto", [](S &s, int64_t &) { return s.PreviewGoto(1000); }, {1, kNoOut, 1000}},
        {"PreviewCue",
         [](S &s, int64_t &) { return s.PreviewCue("TAPE", 100, 200, 0); },
         {1, kNoOut, 0}},
        {"PreviewPlay", [](S &s, int64_t &) { return s.PreviewPlay(1.0, nullptr); }, {1}},
        {"PreviewStill", [](S &s, int64_t &) { return s.PreviewStill(); }, {1}},
        {"PreviewStop", [](S &s, int64_t &) { return s.PreviewStop(); }, {1}},
        {"PreviewGetPosition",
         [](S &s, int64_t &out) {
             int32_t frames = kNoOut;
             const int result = s.PreviewGetPosition(&frames);
             out = frames;
             return result;
         },
         {1, 500}},
        {"PreviewJog", [](S &s, int64_t &) { return s.PreviewJog(10); }, {1, kNoOut, 510}},
        {"OnPreviewPlayStop", [](S &s, int64_t &) { return s.OnPreviewPlayStop(0); }, {0}},
    };
    for (Row<S> &mine : own)
        for (Row<S> &row : rows)
            if (std::string(row.name) == mine.name) row = mine;
    for (const auto &[name, reach] : reaches)
        for (Row<S> &row : rows)
            if (std::string(row.name) == name) row.reachesLine = reach;
    return rows;
}

// Puts the source in virtual mode with its simulated source at 500, stopped, and the status 5.
inline void MakeVirtual(CVideoSrcA &source)
{
    ASSERT_EQ(source.OnSetVirtual(1), 1);
    ASSERT_EQ(source.DevGoto(500), 1);
    source.SetDevStatus(DEVSTATUS_RUN_FAILED);
}

// Runs the row's operation and tells what it gave.
template <class Source> Answer Call(Source &source, const Row<Source> &row)
{
    Answer got{0};
    got.result = row.call(source, got.out);
    timecode_t position = 0;
    source.CVideoSrcA::DevGetPosition(0, position);
    got.position = position;
    got.status = source.GetDevStatus().nCode;
    return got;
}

} // namespace srctable
