// The multi-bus variant of a matrix driver: "BUS" names the outputs that every take and
// preset goes to (an integer list, or one nonzero number); with buses, each command runs the
// model's operation once per bus as the channel and answers how many succeeded; without, it
// is the model's operation on the channel given.
#pragma once

#include "KestLib20/CResAccess.h"

#include <vector>

template <class Model> class CSwitchPerBus : public Model {
public:
    int32_t OnInitInstance() override
    {
        if (!Model::OnInitInstance()) return 0;
        CResAccess setting(this->GetSettingInfo());
        CArray<int32_t, int32_t> buses;
        setting["BUS"].GetAsIntArray(buses);
        m_buses.assign(buses.GetData(), buses.GetData() + buses.GetSize());
        if (m_buses.empty()) {
            const int32_t bus = setting["BUS"].GetAsInteger(0);
            if (bus != 0) m_buses.push_back(bus);
        }
        return 1;
    }

    int DevDirectTake(int channel, int entry) override
    {
        return PerBus(channel, [&](int bus) { return Model::DevDirectTake(bus, entry); });
    }
    int DevPreset(int channel, int entry) override
    {
        return PerBus(channel, [&](int bus) { return Model::DevPreset(bus, entry); });
    }
    int DevTake(int channel) override
    {
        return PerBus(channel, [&](int bus) { return Model::DevTake(bus); });
    }

    std::vector<int> GetBuses() const { return m_buses; }

private:
    template <class Command> int PerBus(int channel, const Command &command)
    {
        if (m_buses.empty()) return command(channel);
        int succeeded = 0;
        for (int bus : m_buses) succeeded += command(bus) ? 1 : 0;
        return succeeded;
    }

    std::vector<int> m_buses; // set at initialisation
};
