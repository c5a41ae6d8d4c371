// What the creating thread hands out for an object that runs on its own thread: the object's first
// interface pointer there, as a class factory returns it. COM marshals it for the client at once; it
// then writes the packet that the own thread made at the object's start, so the client connects
// straight to the own thread, and neither that marshal nor the release that follows is a call into
// the own thread's apartment, which may be busy with another object's call for seconds. Used on the
// creating thread itself, it becomes a proxy of that apartment, from a second packet, and forwards
// to it. It belongs to the creating thread's apartment.
#pragma once
#include "marshal_packet.h"

#include <oaidl.h>
#include <objidl.h>

class COwnThreadHandOut final : public IDispatch, public IMarshal {
public:
    // forClient: the interface the creation asked for, for another process; forProxy: IDispatch,
    // for this process. Comes with one reference.
    COwnThreadHandOut(CMarshalPacket forClient, CMarshalPacket forProxy);
    COwnThreadHandOut(const COwnThreadHandOut&) = delete;
    COwnThreadHandOut& operator=(const COwnThreadHandOut&) = delete;

    // IUnknown: IDispatch and IMarshal are its own; any other interface is the proxy's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, through the proxy.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IMarshal: the client's packet where it fits the request, else the proxy's own marshal.
    STDMETHODIMP GetUnmarshalClass(REFIID riid, void* pv, DWORD dwDestContext, void* pvDestContext,
                                   DWORD mshlflags, CLSID* pCid) override;
    STDMETHODIMP GetMarshalSizeMax(REFIID riid, void* pv, DWORD dwDestContext, void* pvDestContext,
                                   DWORD mshlflags, DWORD* pSize) override;
    STDMETHODIMP MarshalInterface(IStream* pStm, REFIID riid, void* pv, DWORD dwDestContext, void* pvDestContext,
                                  DWORD mshlflags) override;
    STDMETHODIMP UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) override;
    STDMETHODIMP ReleaseMarshalData(IStream* pStm) override;
    STDMETHODIMP DisconnectObject(DWORD dwReserved) override;

private:
    ~COwnThreadHandOut();
    // The proxy of this apartment, made at the first need.
    HRESULT GetProxy(IDispatch** ppProxy);
    HRESULT GetProxyMarshal(IMarshal** ppMarshal);

    volatile LONG m_cRef = 1;
    CMarshalPacket m_forClient;
    CMarshalPacket m_forProxy;
    IDispatch* m_pProxy = nullptr;
    HRESULT m_hrProxy = S_OK;  // why no proxy could be had
};
