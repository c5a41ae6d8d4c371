#include "marshal_packet.h"

#include "own_thread_system_calls.h"

#include <objbase.h>

#include <cstring>
#include <utility>

namespace {

// The header of every marshaled interface (an OBJREF, which the standard marshaler writes whole):
// signature, kind, interface.
const ULONG kObjRefSignature = 0x574f454d;  // "MEOW"
const ULONG kObjRefStandard = 0x1;
const size_t kHeaderSize = sizeof(ULONG) * 2 + sizeof(IID);

// A stream over bytes, at their start, through the seam that tests can fail.
HRESULT StreamOver(const void* pData, ULONG cb, IStream** ppStream)
{
    *ppStream = nullptr;
    IStream* pStream = nullptr;
    HRESULT hr = COwnThreadSystemCalls::Current().pfnCreateStreamOnHGlobal(nullptr, TRUE, &pStream);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_UNEXPECTED;  // what a failure leaves there is no stream
    LARGE_INTEGER zero{};
    if (cb > 0)
        hr = pStream->Write(pData, cb, nullptr);
    if (SUCCEEDED(hr))
        hr = pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        pStream->Release();
        return hr;
    }
    *ppStream = pStream;
    return S_OK;
}

}  // namespace

CMarshalPacket::CMarshalPacket(CMarshalPacket&& other) noexcept
    : m_bytes(std::move(other.m_bytes)), m_iid(other.m_iid), m_dwDestContext(other.m_dwDestContext)
{
    other.m_bytes.clear();
}

CMarshalPacket& CMarshalPacket::operator=(CMarshalPacket&& other) noexcept
{
    if (this != &other) {
        Discard();
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
        m_iid = other.m_iid;
        m_dwDestContext = other.m_dwDestContext;
    }
    return *this;
}

HRESULT CMarshalPacket::Marshal(LPUNKNOWN pUnk, REFIID riid, DWORD dwDestContext)
{
    Discard();
    IStream* pStream = nullptr;
    HRESULT hr = StreamOver(nullptr, 0, &pStream);
    if (FAILED(hr))
        return hr;
    hr = COwnThreadSystemCalls::Current().pfnCoMarshalInterface(pStream, riid, pUnk, dwDestContext, nullptr,
                                                                MSHLFLAGS_NORMAL);
    if (hr == S_OK) {
        HGLOBAL hGlobal = nullptr;
        ULARGE_INTEGER size{};
        LARGE_INTEGER zero{};
        HRESULT hrRead = GetHGlobalFromStream(pStream, &hGlobal);
        if (SUCCEEDED(hrRead))
            hrRead = pStream->Seek(zero, STREAM_SEEK_CUR, &size);
        const void* pData = SUCCEEDED(hrRead) ? GlobalLock(hGlobal) : nullptr;
        if (pData != nullptr && size.QuadPart > 0) {
            const auto* pBegin = static_cast<const BYTE*>(pData);
            m_bytes.assign(pBegin, pBegin + size.QuadPart);
            GlobalUnlock(hGlobal);
            m_iid = riid;
            m_dwDestContext = dwDestContext;
        } else {
            // Marshaled, but the bytes cannot be had: the references go back here, in their apartment.
            if (pData != nullptr)
                GlobalUnlock(hGlobal);
            pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
            CoReleaseMarshalData(pStream);
            hr = FAILED(hrRead) ? hrRead : E_UNEXPECTED;
        }
    }
    pStream->Release();
    return hr;
}

HRESULT CMarshalPacket::Unmarshal(REFIID riid, void** ppv)
{
    *ppv = nullptr;
    if (IsEmpty())
        return E_UNEXPECTED;
    IStream* pStream = nullptr;
    HRESULT hr = StreamOver(m_bytes.data(), static_cast<ULONG>(m_bytes.size()), &pStream);
    if (FAILED(hr))
        return hr;  // the packet stays, and gives its references back when it goes
    hr = COwnThreadSystemCalls::Current().pfnCoUnmarshalInterface(pStream, riid, ppv);
    if (FAILED(hr)) {
        // A normal packet that could not be unmarshaled still holds its references: given back.
        LARGE_INTEGER zero{};
        pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(pStream);
    }
    pStream->Release();
    m_bytes.clear();
    return hr;
}

bool CMarshalPacket::CanStandFor(REFIID riid, DWORD dwDestContext, DWORD mshlflags) const
{
    if (m_bytes.size() <= kHeaderSize || mshlflags != MSHLFLAGS_NORMAL || !IsEqualIID(riid, m_iid))
        return false;
    // Made for another process, it serves this process's other apartments too; not the reverse.
    const bool bContextFits = dwDestContext == m_dwDestContext ||
                              (m_dwDestContext == MSHCTX_LOCAL && dwDestContext == MSHCTX_INPROC);
    ULONG header[2];
    std::memcpy(header, m_bytes.data(), sizeof(header));
    IID iid;
    std::memcpy(&iid, m_bytes.data() + sizeof(header), sizeof(iid));
    return bContextFits && header[0] == kObjRefSignature && header[1] == kObjRefStandard && IsEqualIID(iid, riid);
}

HRESULT CMarshalPacket::WriteTo(IStream* pStream)
{
    if (IsEmpty())
        return E_UNEXPECTED;
    HRESULT hr = pStream->Write(m_bytes.data(), GetSize(), nullptr);
    if (SUCCEEDED(hr))
        m_bytes.clear();
    return hr;
}

void CMarshalPacket::Discard()
{
    if (IsEmpty())
        return;
    IStream* pStream = nullptr;
    if (SUCCEEDED(StreamOver(m_bytes.data(), static_cast<ULONG>(m_bytes.size()), &pStream))) {
        // In the same process the stub's references are given back directly, not by a call.
        CoReleaseMarshalData(pStream);
        pStream->Release();
    }
    m_bytes.clear();
}
