// The telnet administration shell over a socket pair, fed an arbitrary client's input: log-on,
// option commands, line editing and every built-in command (settings are served from memory,
// so nothing is written), ending when the input does. Each input's shell has a throttle of its
// own that paces nothing: the inputs all come from one peer, and a failed log-on must not
// make the next input wait.
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzProcess.h"
#include "tests/fuzz/FuzzSession.h"

#include "devext/device/CKestTelnetShell.h"
#include "devext/services/LogOnThrottle.h"

#include <memory>

namespace {

// The host side: the built-in commands and one that reads its words every way.
class HostShell : public CKestTelnetShell {
public:
    explicit HostShell(SOCKET s) : CKestTelnetShell(s)
    {
        __RegisterKestFunc();
        RegisterFunc("WORDS", tagOnTelnetNotify::Of<&HostShell::OnWords>(this), this);
    }
    ~HostShell() override { Stop(); }

    int OnWords(CKestTelnetShell *shell)
    {
        for (int i = 0; i < 6; ++i) {
            shell->GetParamAsString(i, "");
            shell->GetParamAsInteger(i, 0);
            shell->GetParamAsFloat(i, 0);
        }
        return 1;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::ProcessSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Session session(std::vector<uint8_t>(data, data + std::min<size_t>(size, 16384)));
    if (session.ServerEnd() < 0) return 0;
    {
        auto shell = std::make_shared<HostShell>(session.ServerEnd());
        shell->SetLogOnThrottle(std::make_shared<LogOnThrottle>(LogOnThrottle::Pacing{0, 0, 0}));
        shell->DoShell();
        shell->CloseSocket();
    }
    session.Finish();
    return 0;
}
