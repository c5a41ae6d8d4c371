// CConnectionPoint: one outgoing interface of an automation object, with the sinks advised to it.
// It is a part of its object (reference count and lifetime are the object's) and is made by the
// object's connection map (connection_point_container.h); no class writes one by hand.
//
// Each sink is a CEventReceiver (event_receiver.h): Fire may run on any thread with COM initialized,
// and every sink is called through COM the way its apartment requires.
#pragma once
#include "event_receiver.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <mutex>
#include <vector>

class CCmdTarget;

class CConnectionPoint final : public IConnectionPoint {
public:
    CConnectionPoint(CCmdTarget* pOwner, IConnectionPointContainer* pContainer, REFIID iid);
    ~CConnectionPoint();
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    const IID& GetIID() const { return m_iid; }

    // Calls dispid on every sink, one after another, synchronously. A sink whose caller is gone
    // (AfxIsReceiverGone) is unadvised; other failures of a sink are its own and change nothing.
    // A sink may unadvise itself, or others, from inside the call.
    void FireDispatch(DISPID dispid, VARIANT* rgArgs, UINT cArgs);

    // The named point in FireDispatch, before a sink whose caller is gone is dropped.
    static constexpr const char* kPointDroppingGoneSink = "connection_point.dropping_gone_sink";

    // Drops every sink; those advised in the calling thread's apartment are given back now (the
    // object's final release calls it there).
    void ReleaseConnections();

    // IUnknown: the point's own identity; the object's reference count.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

private:
    struct Connection {
        DWORD dwCookie;
        std::shared_ptr<CEventReceiver> pSink;  // a Fire in progress may hold it a little longer
    };
    std::vector<Connection> TakeConnections();
    // Takes the sink off the list; gives it back here when this is its home, else keeps it for its
    // home to give back. FALSE when no sink has the cookie.
    BOOL Drop(DWORD dwCookie);
    // Gives back the dropped sinks whose home is the calling thread's apartment.
    void GiveBackRetiredAtHome();

    CCmdTarget* const m_pOwner;
    IConnectionPointContainer* const m_pContainer;
    const IID m_iid;
    std::mutex m_lock;
    // Under m_lock.
    std::vector<Connection> m_connections;
    // Dropped by a thread outside their home (a worker firing): their references go back at home.
    std::vector<std::shared_ptr<CEventReceiver>> m_retired;
    DWORD m_dwNextCookie = 1;
};
