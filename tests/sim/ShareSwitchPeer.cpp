#include "tests/sim/ShareSwitchPeer.h"

namespace kestsim {

Bytes ShareText(const std::string &text)
{
    Bytes bytes = ShareInt(static_cast<int32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

Bytes ShareInt(int32_t value)
{
    Bytes bytes(4);
    PutLe(bytes, 0, static_cast<uint32_t>(value), 4);
    return bytes;
}

Bytes ShareValues(std::initializer_list<Bytes> values)
{
    Bytes all;
    for (const Bytes &v : values) all.insert(all.end(), v.begin(), v.end());
    return all;
}

std::vector<int32_t> ShareInts(const Bytes &data, size_t offset)
{
    std::vector<int32_t> values;
    for (size_t at = offset; at + 4 <= data.size(); at += 4)
        values.push_back(static_cast<int32_t>(NetField(data, at, 4)));
    return values;
}

} // namespace kestsim
