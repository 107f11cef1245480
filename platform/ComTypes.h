// Component-object types of the interfaces the framework exposes: GUIDs and interface ids,
// result codes, IUnknown and IClassFactory. Header-only, no state.
#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <cstring>

// 128-bit identifier. Compared as its 16 bytes, as the component model does.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes");

using IID = GUID;
using CLSID = GUID;

inline bool IsEqualGUID(const GUID &a, const GUID &b)
{
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(const GUID &a, const GUID &b)
{
    return IsEqualGUID(a, b);
}

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

inline bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
inline bool FAILED(HRESULT hr)
{
    return hr < 0;
}

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Reference-counted interface root. Objects are released through Release, never deleted
// through this interface.
class PLAT_API IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID *iid, void **object) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// Makes objects of one class.
class PLAT_API IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown *outer, const IID *iid, void **object) = 0;
    virtual HRESULT LockServer(int32_t lock) = 0;

protected:
    ~IClassFactory() = default;
};
