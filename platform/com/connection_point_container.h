// CConnectionPointContainer: the IConnectionPointContainer of an automation object, with one
// connection point (connection_point.h) for each outgoing interface in the object's connection map.
// A class declares its outgoing interfaces once:
//
//     class CMyTarget : public CCmdTarget { ... DECLARE_CONNECTION_MAP() };
//
//     BEGIN_CONNECTION_MAP(CMyTarget, CCmdTarget)
//         CONNECTION_POINT(DIID_IMyEvents)
//     END_CONNECTION_MAP()
//     BEGIN_INTERFACE_MAP(CMyTarget, CCmdTarget)
//         INTERFACE_PART(CMyTarget, IID_IConnectionPointContainer, ConnPtContainer)
//     END_INTERFACE_MAP()
//
// and fires with m_xConnPtContainer.Fire(DIID_IMyEvents, dispid, values...) (C++ values, see
// dispatch_args.h) or FireDispatch(DIID_IMyEvents, dispid, args, count), on whatever thread its
// work runs. The points are made at the first use, from the most derived class's map.
// The sinks are given back by the object's final release, in its apartment (apartment_part.h).
#pragma once
#include "connection_map.h"
#include "connection_point.h"
#include "dispatch_args.h"

#include <memory>
#include <mutex>
#include <vector>

class CConnectionPointContainer final : public IConnectionPointContainer, public CApartmentPart {
public:
    explicit CConnectionPointContainer(CCmdTarget* pOwner) : CApartmentPart(pOwner), m_pOwner(pOwner) {}
    CConnectionPointContainer(const CConnectionPointContainer&) = delete;
    CConnectionPointContainer& operator=(const CConnectionPointContainer&) = delete;

    // The point for an outgoing interface of the map; nullptr for any other.
    CConnectionPoint* FindPoint(REFIID iid);
    // See CConnectionPoint::FireDispatch. Nothing happens for an interface not in the map.
    void FireDispatch(REFIID iid, DISPID dispid, VARIANT* rgArgs, UINT cArgs);
    template <class... Args> void Fire(REFIID iid, DISPID dispid, const Args&... args)
    {
        if (FindPoint(iid) == nullptr)
            return;
        CDispatchArgs params(args...);
        FireDispatch(iid, dispid, params.Data(), params.Count());
    }
    // Every point's sinks dropped: see CConnectionPoint::ReleaseConnections.
    void ReleaseConnections();
    void ReleaseAtHome() override { ReleaseConnections(); }

    // IUnknown: the object's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    const std::vector<std::unique_ptr<CConnectionPoint>>& Points();

    CCmdTarget* const m_pOwner;
    std::once_flag m_made;
    std::vector<std::unique_ptr<CConnectionPoint>> m_points;  // set once, then only read
};

#define DECLARE_CONNECTION_MAP()                               \
public:                                                        \
    CConnectionPointContainer m_xConnPtContainer{this};        \
    AFX_DECLARE_CLASS_MAP(Connection, AFX_CONNECTIONMAP)
#define BEGIN_CONNECTION_MAP(theClass, baseClass) \
    AFX_BEGIN_CLASS_MAP(Connection, AFX_CONNECTIONMAP, AFX_CONNECTIONMAP_ENTRY, theClass, baseClass)
#define CONNECTION_POINT(iid) {&(iid)},
#define END_CONNECTION_MAP() AFX_END_CLASS_MAP(Connection)
