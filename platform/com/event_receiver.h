// CEventReceiver: one receiver of an object's events (a sink advised to a connection point, or a
// callback an object was handed), callable from any thread of the process.
//
// It keeps the receiver twice. The pointer as it was handed over, with a reference, stays in the
// apartment it was handed over in (its home): there it keeps the receiver, or the proxy that leads
// to it, alive. An entry in COM's global interface table gives every other thread a pointer that is
// right for its own apartment: the same pointer at home, a proxy elsewhere. So Invoke may run on
// any thread with COM initialized, and the call reaches the receiver the way its apartment
// requires. The reference is given back at home: by Detach, by the owning object's final release
// (see apartment_part.h) or by a destruction there. A destruction on another thread revokes the table
// entry and leaves the reference, which must not be released there.
//
// A class's member names its object, which then gives the receiver back by itself:
//     CEventReceiver m_onChanged{this};
#pragma once
#include "apartment_part.h"
#include "global_interface.h"

#include <windows.h>
#include <oaidl.h>

class CEventReceiver final : public CApartmentPart {
public:
    // pOwner nullptr: a connection point's sink, given back by its point.
    explicit CEventReceiver(CCmdTarget* pOwner) : CApartmentPart(pOwner) {}
    ~CEventReceiver() override;
    CEventReceiver(const CEventReceiver&) = delete;
    CEventReceiver& operator=(const CEventReceiver&) = delete;

    // At home. pUnk is asked for iid, a dispatch interface (or IID_IDispatch): E_NOINTERFACE when
    // it does not answer it.
    HRESULT Attach(IUnknown* pUnk, REFIID iid);
    // Calls dispid as a method with the arguments (last first, as DISPPARAMS hold them), no result.
    HRESULT Invoke(DISPID dispid, VARIANT* rgArgs, UINT cArgs) const;
    // The receiver's IUnknown, with a reference, for use at home.
    IUnknown* GetHomePointer() const;
    // At home: gives the receiver back.
    void Detach();
    // Detach when called at home; elsewhere nothing.
    void ReleaseAtHome() override;
    bool IsAttached() const { return m_pHome != nullptr; }
    // Whether the calling thread is in the receiver's home apartment.
    bool IsAtHome() const;

private:
    IUnknown* m_pHome = nullptr;
    DWORD m_nHomeThreadID = 0;
    bool m_bHomeIsMTA = false;
    IID m_iid = IID_NULL;
    CGlobalInterface m_global;
};

// Whether a receiver's call failed because the receiver's process or apartment is gone: such a
// receiver can never be reached again, and is dropped.
bool AfxIsReceiverGone(HRESULT hr);
