// A growable array of run-time class records, the out parameter of iRtc::GetTotalSonRtc.
#pragma once

#include <cstdint>
#include <vector>

class iRtc;

class IRtcArray {
public:
    // Removes `count` entries at `index` (a negative index counts as 0; a negative count, or
    // one larger than what is left, removes everything from the index on); an index past the
    // end removes nothing. Returns how many were removed.
    virtual int32_t RemoveAt(int32_t index, int32_t count) = 0;
    virtual int32_t GetSize() = 0;
    // New entries are null; a negative size gives 0 and changes nothing.
    virtual int32_t SetSize(int32_t size) = 0;
    // Null outside the array.
    virtual iRtc *GetAt(int32_t index) = 0;
    // 0 outside the array.
    virtual int32_t SetAt(int32_t index, iRtc *record) = 0;

protected:
    ~IRtcArray() = default;
};

class CRtcArray final : public IRtcArray {
public:
    int32_t RemoveAt(int32_t index, int32_t count) override;
    int32_t GetSize() override;
    int32_t SetSize(int32_t size) override;
    iRtc *GetAt(int32_t index) override;
    int32_t SetAt(int32_t index, iRtc *record) override;

private:
    bool InRange(int32_t index) const;

    std::vector<iRtc *> m_records;
};
