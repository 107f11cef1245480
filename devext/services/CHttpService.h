// One HTTP handler record of the host program: a path and the methods it serves, and the
// function that answers them. Every live record is found by every HTTP shell through the
// live instances of its run-time class; hosts make their records before the listener starts
// and destroy them after it stops.
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"
#include "platform/String.h"

#include <cstdint>

class CHttpShell;

class DEVEXT20_API CHttpService : public CClassA {
    DECLARE_KEST_CLASS(CHttpService)

    // Writes the whole response through the shell's send operations; the result is ignored.
    using Handler = int (*)(CHttpService *service, CHttpShell *shell);

    // A record with an empty path, mask 0 (every method) and option 1.
    CHttpService() : CHttpService("", 0, 1) {}
    CHttpService(const char *path, int methodMask, int option);
    // A copy is a live record of its own with every field of `other`.
    CHttpService(const CHttpService &other);
    CHttpService &operator=(const CHttpService &other) = default;

    // Whether a request of method `method` (a method-table code) for `url` is this record's:
    // the mask holds the method (or is 0) and the path equals the URL without regard to case.
    bool Matches(int method, const char *url) const;
    // Calls the handler when both context and handler are set.
    void Serve(CHttpShell &shell);

    int GetMethodMask() const { return m_nMethodMask; }
    int GetOption() const { return m_nOption; }
    const CString &GetPath() const { return m_strPath; }
    void *GetContext() const { return m_pContext; }
    void SetContext(void *context) { m_pContext = context; }
    Handler GetHandler() const { return m_pHandler; }
    void SetHandler(Handler handler) { m_pHandler = handler; }

private:
    int32_t m_nMethodMask;
    int32_t m_nOption; // the host's own; the shell never reads it
    CString m_strPath;
    void *m_pContext = nullptr;
    Handler m_pHandler = nullptr;
};
