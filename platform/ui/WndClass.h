// The window-class registry: a class name with its class style, cursor, background and the
// function that makes the window object, so that a dialog template's control is made by its
// window class name. The standard controls ("Static", "Edit", "Button", "ComboBox",
// "ListBox", "SysListView32", "SysDateTimePick32") are registered when the layer loads.
#pragma once

#include "platform/ui/UiTypes.h"

struct tagWndClass {
    UINT style = 0;
    CWnd *(*pfnCreate)() = nullptr; // a new window object of the class
    int hCursor = IDC_ARROW;
    int hbrBackground = 0; // a system colour index + 1; 0 leaves the background alone
    const char *lpszClassName = nullptr;
};

// FALSE when the name is empty, has no factory, or is taken (names compare without case).
PLATUI_API BOOL AfxRegisterClass(const tagWndClass *wndClass);
PLATUI_API BOOL UnregisterClass(const char *className);
// The registration under that name (its name pointing at the registry's own copy).
PLATUI_API BOOL GetClassInfo(const char *className, tagWndClass *wndClass);
// A new window object of the class, owned by the caller; null for an unknown class.
PLATUI_API CWnd *AfxCreateWndObject(const char *className);
