// A RIFF/WAVE file rendered crudely on the speaker: every pair of sample bytes becomes a
// 1 ms tone whose pitch follows their sum.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/StdioFile.h"

#include <cstdint>

class DEVEXT20_API CWaveFile : public CStdioFile {
public:
    // Opens the file (writers refused meanwhile) and reads its headers: "RIFF" ... "WAVE",
    // the "fmt " chunk and the "data" chunk directly behind it. 1 with the file at the first
    // sample byte; 0, the file closed, when it is not such a file.
    int Open(const char *path);
    // Sounds the samples; 1 at their end, 0 when the data ends early or no file is open.
    // The file is closed either way.
    int PlayWithSpeeker();

    uint32_t GetRiffSize() const { return m_riffSize; }
    uint16_t GetFormatTag() const { return m_formatTag; }
    uint16_t GetChannels() const { return m_channels; }
    uint32_t GetSampleRate() const { return m_sampleRate; }
    uint32_t GetByteRate() const { return m_byteRate; }
    uint32_t GetDataSize() const { return m_dataSize; }

private:
    bool ReadExactly(void *buffer, uint32_t count);
    bool SkipExactly(uint32_t count);
    int Refuse();

    uint32_t m_riffSize = 0;
    uint32_t m_formatSize = 0;
    uint16_t m_formatTag = 0;
    uint16_t m_channels = 0;
    uint32_t m_sampleRate = 0;
    uint32_t m_byteRate = 0;
    uint32_t m_dataSize = 0;
};
