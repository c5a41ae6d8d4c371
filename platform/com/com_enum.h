// CComEnum: an enumerator (IEnumConnectionPoints, IEnumConnections, ...) over a snapshot taken when
// it is made. Clones share the snapshot and keep their own position. Each item is handed out with
// its own reference (Copy::Init), and the snapshot holds one until the last clone goes.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <memory>
#include <vector>

template <class T> struct CComEnumCopy;

template <> struct CComEnumCopy<IConnectionPoint*> {
    static void Init(IConnectionPoint** pTo, IConnectionPoint* const& from) { *pTo = from; from->AddRef(); }
    static void Destroy(IConnectionPoint*& item) { item->Release(); }
};

template <> struct CComEnumCopy<CONNECTDATA> {
    static void Init(CONNECTDATA* pTo, const CONNECTDATA& from) { *pTo = from; from.pUnk->AddRef(); }
    static void Destroy(CONNECTDATA& item) { item.pUnk->Release(); }
};

template <class Base, const IID* piid, class T>
class CComEnum final : public Base {
public:
    // Takes over the items' references.
    static HRESULT Create(std::vector<T> items, Base** ppEnum)
    {
        auto pItems = std::shared_ptr<std::vector<T>>(new std::vector<T>(std::move(items)), [](std::vector<T>* p) {
            for (T& item : *p)
                CComEnumCopy<T>::Destroy(item);
            delete p;
        });
        *ppEnum = new CComEnum(std::move(pItems), 0);
        return S_OK;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *piid)) {
            *ppv = static_cast<Base*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&m_nRef);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP Next(ULONG cItems, T* rgItems, ULONG* pcFetched) override
    {
        if (rgItems == nullptr || (cItems != 1 && pcFetched == nullptr))
            return E_POINTER;
        ULONG n = 0;
        for (; n < cItems && m_nPos < m_pItems->size(); ++n, ++m_nPos)
            CComEnumCopy<T>::Init(&rgItems[n], (*m_pItems)[m_nPos]);
        if (pcFetched != nullptr)
            *pcFetched = n;
        return n == cItems ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cItems) override
    {
        size_t left = m_pItems->size() - m_nPos;
        m_nPos += cItems < left ? cItems : left;
        return cItems <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_nPos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Base** ppEnum) override
    {
        if (ppEnum == nullptr)
            return E_POINTER;
        *ppEnum = new CComEnum(m_pItems, m_nPos);
        return S_OK;
    }

private:
    CComEnum(std::shared_ptr<std::vector<T>> pItems, size_t nPos) : m_pItems(std::move(pItems)), m_nPos(nPos) {}

    LONG m_nRef = 1;
    std::shared_ptr<std::vector<T>> m_pItems;
    size_t m_nPos;
};

using CEnumConnectionPoints = CComEnum<IEnumConnectionPoints, &IID_IEnumConnectionPoints, IConnectionPoint*>;
using CEnumConnections = CComEnum<IEnumConnections, &IID_IEnumConnections, CONNECTDATA>;
