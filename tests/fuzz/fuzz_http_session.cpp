// The HTTP shell serving one arbitrary request over a socket pair, with records that answer
// what they saw: a request is answered with a status line or not at all.
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzSession.h"

#include "devext/services/CHttpService.h"
#include "devext/services/CHttpShell.h"

#include <memory>

namespace {

int Answer(CHttpService *, CHttpShell *shell)
{
    CString text = shell->GetUrl();
    for (int i = 0; i < shell->GetParams().GetCount(); ++i)
        text += shell->GetParams().GetKeys()[i] + "=" + shell->GetParams().GetValues()[i];
    for (int i = 0; i < shell->GetHeaders().GetCount(); ++i)
        text += shell->GetHeaders().GetKeys()[i] + ":" + shell->GetHeaders().GetValues()[i];
    return shell->GetMethod() == CHttpShell::POST ? shell->SendHtml(text) : shell->SendXml(text);
}

struct Records {
    Records()
    {
        for (auto *record : {&status, &any}) record->SetHandler(&Answer);
        status.SetContext(this);
        any.SetContext(this);
    }
    CHttpService status{"/status", CHttpShell::GET | CHttpShell::POST, 1};
    CHttpService any{"/", 0, 1};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Records *records = new Records; // live for the life of the process
    (void)records;
    fuzz::Session session(std::vector<uint8_t>(data, data + std::min<size_t>(size, 65536)));
    if (session.ServerEnd() < 0) return 0;
    {
        auto shell = std::make_shared<CHttpShell>(session.ServerEnd());
        const int served = shell->DoShell();
        FUZZ_CHECK(served == 0 || served == 1);
        shell->CloseSocket();
    }
    const std::string &answer = session.Finish();
    FUZZ_CHECK(answer.empty() || answer.compare(0, 7, "HTTP/1.") == 0);
    return 0;
}
