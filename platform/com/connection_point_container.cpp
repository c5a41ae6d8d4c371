#include "connection_point_container.h"

#include "cmd_target.h"
#include "com_enum.h"

const std::vector<std::unique_ptr<CConnectionPoint>>& CConnectionPointContainer::Points()
{
    // Not in the constructor: the map is the most derived class's, known once the object is built.
    std::call_once(m_made, [this] {
        for (const AFX_CONNECTIONMAP* pMap = m_pOwner->GetConnectionMap(); pMap != nullptr;
             pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr)
            for (const AFX_CONNECTIONMAP_ENTRY* p = pMap->lpEntries; p->piid != nullptr; ++p)
                m_points.push_back(std::make_unique<CConnectionPoint>(m_pOwner, this, *p->piid));
    });
    return m_points;
}

CConnectionPoint* CConnectionPointContainer::FindPoint(REFIID iid)
{
    for (const auto& pPoint : Points())
        if (IsEqualIID(pPoint->GetIID(), iid))
            return pPoint.get();
    return nullptr;
}

void CConnectionPointContainer::FireDispatch(REFIID iid, DISPID dispid, VARIANT* rgArgs, UINT cArgs)
{
    if (CConnectionPoint* pPoint = FindPoint(iid))
        pPoint->FireDispatch(dispid, rgArgs, cArgs);
}

void CConnectionPointContainer::ReleaseConnections()
{
    for (const auto& pPoint : Points())
        pPoint->ReleaseConnections();
}

STDMETHODIMP CConnectionPointContainer::QueryInterface(REFIID riid, void** ppv)
{
    return m_pOwner->ExternalQueryInterface(&riid, ppv);
}

STDMETHODIMP_(ULONG) CConnectionPointContainer::AddRef() { return m_pOwner->ExternalAddRef(); }

STDMETHODIMP_(ULONG) CConnectionPointContainer::Release() { return m_pOwner->ExternalRelease(); }

STDMETHODIMP CConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    if (ppEnum == nullptr)
        return E_POINTER;
    std::vector<IConnectionPoint*> items;
    for (const auto& pPoint : Points()) {
        pPoint->AddRef();
        items.push_back(pPoint.get());
    }
    return CEnumConnectionPoints::Create(std::move(items), ppEnum);
}

STDMETHODIMP CConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (ppCP == nullptr)
        return E_POINTER;
    *ppCP = FindPoint(riid);
    if (*ppCP == nullptr)
        return CONNECT_E_NOCONNECTION;
    (*ppCP)->AddRef();
    return S_OK;
}
