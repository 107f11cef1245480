// The handle that host programs hold the task engine's reference-counted objects by.
#pragma once

// A handle that shares one reference-counted object (AddRef and Release): the handle made
// first holds the new object's reference, copies add one, each handle releases its own.
template <class I> class CVideoTaskPtr {
public:
    CVideoTaskPtr(const CVideoTaskPtr &other) : _Impl(other._Impl) { _Impl->AddRef(); }
    CVideoTaskPtr &operator=(const CVideoTaskPtr &other)
    {
        other._Impl->AddRef();
        _Impl->Release();
        _Impl = other._Impl;
        return *this;
    }
    ~CVideoTaskPtr() { _Impl->Release(); }

    I *operator->() const { return _Impl; }
    I *Get() const { return _Impl; }

protected:
    explicit CVideoTaskPtr(I *created) : _Impl(created) {}

private:
    I *_Impl;
};
