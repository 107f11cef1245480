// The gpi monitor's main dialog: opens the GPI card, watches line 0 of a chosen port on a
// receive thread, counts its triggers and announces each one to the station as the net
// message "#SYNOP"; two buttons drive an output channel high or low to test the wiring.
#pragma once

#include "gpi/CGPICard_PinioTech.h"

#include "KestLib20/thread_c.h"
#include "platform/Sync.h"
#include "platform/ui/CDialog.h"

#include <atomic>
#include <cstdint>

class CGpiDlg : public CDialog {
public:
    enum { IDD = 102 };

    explicit CGpiDlg(CWnd *parent = nullptr);
    // Ends a receive thread still running before the card closes.
    ~CGpiDlg() override;

    int32_t GetTriggerCount() const { return m_nCount.load(); }
    CGPICard_PinioTech &GetCard() { return m_card; }
    // The text of the "#SYNOP" message: the same for every trigger.
    static CString SynopText();

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *dx) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The About entry opens the About box; other commands take the default path.
    void OnSysCommand(UINT id, LPARAM lParam) override;
    void OnDestroy() override;
    // Announces one trigger (on the receive thread).
    virtual void PostSynop(const CString &text);

private:
    static uint32_t ReceiveThrdProc(void *dialog);
    void Receive();
    void StartReceive();
    void EndReceive();
    void OnOpenDevice();
    void SetOutput(uint16_t level);

    std::atomic<int32_t> m_nCount{0};
    int m_nOutputChannel = 0;
    thread_c m_thread;
    std::atomic<int64_t> m_lLastTrigger{0};
    std::atomic<int32_t> m_bStop{1};
    plat::Event m_stopEvent{true, false}; // set with the stop flag: ends a pause at once
    std::atomic<int32_t> m_bInterrupt{0};
    std::atomic<int32_t> m_bTriggerHigh{0};
    std::atomic<int32_t> m_nPort{0}; // the port list's selection, for the receive thread
    CGPICard_PinioTech m_card;
};
