// The timecode entry control, window class "CMxtTimecodeCtrl": hours, minutes, seconds and
// frames in four small edit fields (child ids 1 to 4) with painted colons between them. It
// takes only what fits a field, wraps values past a field's range, moves between the fields
// from the keyboard, and exchanges its value with a timecode_t through DDX_MxtTimecode.
// With negatives allowed, the hours field takes a minus sign and runs from -9; its value
// -10000 is "minus zero", so a negative timecode below one hour can be entered.
#pragma once

#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"
#include "platform/ui/CDataExchange.h"
#include "platform/ui/CEdit.h"

#include <cstdint>
#include <functional>

class CMxtTimecodeCtrl;

// One field of the control.
class KSOVRA20_API CMxtTimecodeEdit : public CEdit {
    DECLARE_DYNAMIC(CMxtTimecodeEdit)

    static constexpr int32_t kMinusZero = -10000;

    CMxtTimecodeEdit() = default;

    void Setup(CMxtTimecodeCtrl *owner, int index, int32_t minimum, int32_t maximum);
    void SetMinimum(int32_t minimum) { m_nMin = minimum; }
    int32_t GetMinimum() const { return m_nMin; }
    int32_t GetMaximum() const { return m_nMax; }
    template <class T> void SetChangeCallback(T *object, void (T::*member)())
    {
        m_changed = [object, member] { (object->*member)(); };
    }

    // The digits of the text as a number (0 without any); in the hours field a minus sign
    // makes it negative, and a minus sign with 0 is kMinusZero.
    int32_t GetValue() const;
    // Shows the value as two digits, the first replaced by "-" when it is negative; a value
    // above the range becomes the minimum, one below it the maximum.
    void SetValue(int32_t value);

protected:
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
    void OnSetFocus(CWnd *oldWnd) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    UINT OnGetDlgCode() override;

private:
    bool InRange(int32_t value) const;
    bool AcceptsMinus() const;
    void Step(int delta);
    void Changed();

    CMxtTimecodeCtrl *m_pOwner = nullptr;
    int m_nIndex = 0;
    int32_t m_nMin = 0;
    int32_t m_nMax = 0;
    std::function<void()> m_changed;
};

class KSOVRA20_API CMxtTimecodeCtrl : public CWnd {
    DECLARE_DYNCREATE(CMxtTimecodeCtrl)

    static constexpr const char *kWndClassName = "CMxtTimecodeCtrl";

    CMxtTimecodeCtrl() = default;
    ~CMxtTimecodeCtrl() override;

    // Registers the window class (the library does so when it loads); FALSE when the name is
    // taken.
    static BOOL RegisterWndClass();
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    // Hours are signed by `sign` (hours 0 with a negative sign is minus zero).
    void SetTimecode(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames, int32_t sign);
    void SetTimecode(timecode_t value);
    timecode_t GetTimecode() const;
    // With the flag, the hours field runs from -9 and takes a minus sign; without, from 0.
    void SetAllowNegative(int32_t allow);
    int32_t GetAllowNegative() const { return m_bAllowNegative; }
    // TRUE when the focus is in one of the fields.
    BOOL HasFocus() const;
    // Called when Return is pressed in a field.
    template <class T> void SetEnterCallback(T *object, void (T::*member)())
    {
        m_enter = [object, member] { (object->*member)(); };
    }

protected:
    int OnCreate(CREATESTRUCT *cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnPaint() override;
    void OnEnable(BOOL enable) override;
    void OnSetFocus(CWnd *oldWnd) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class CMxtTimecodeEdit;

    void Layout();
    // A field changed: EN_CHANGE with the control's id to the parent.
    void OnFieldChange();
    // Focuses field `index` (wrapping past either end) with its text selected.
    void FocusField(int index);
    // Moves the focus to the parent dialog's next (or previous) tab item.
    void TabOut(bool previous);
    void Enter();

    CMxtTimecodeEdit m_fields[4];
    int32_t m_bAllowNegative = 0;
    int32_t m_bEnabled = 1;
    int m_nColonWidth = 0;
    CRect m_rcFields[4];
    CRect m_rcColons[3];
    std::function<void()> m_enter;
};

// Saving reads the control into `value`; loading shows `value`, unless the focus is in the
// control and it already shows that value (so typing is not disturbed).
KSOVRA20_API void DDX_MxtTimecode(CDataExchange *dx, int id, timecode_t &value);
