// Port number to device path, one rule for every kind of serial port: the environment
// variable KEST_COM<n> (KEST_SIO<n> for board ports), else the key COM<n> (SIO<n>) of the
// setting "/etc/tvx/SerialPorts", else /dev/ttyS<n-1> for plain COM ports.
#pragma once

#include "platform/PlatformApi.h"

#include <functional>
#include <string>

namespace plat {

enum class SerialPortKind {
    COM, // a serial port of the machine
    SIO, // a port of a multiport serial board
};

// The setting whose keys name the device of each port; read through the hook below.
constexpr const char *kSerialPortsSetting = "/etc/tvx/SerialPorts";

// Reads `key` of the setting kSerialPortsSetting; false when the key is not there.
using SerialPortSettingsReader = std::function<bool(const std::string &key, std::string *value)>;

// Installs the settings lookup (the settings tree lives above this layer); empty removes it.
PLAT_API void SetSerialPortSettingsReader(SerialPortSettingsReader reader);

// The device path of port `n` of `kind`; empty when the port has none (board ports have no
// default, and port numbers below 1 resolve to nothing). Empty values count as not set.
PLAT_API std::string ResolveSerialPort(SerialPortKind kind, int n);

} // namespace plat
