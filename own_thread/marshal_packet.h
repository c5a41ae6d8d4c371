// One interface of an object, marshaled in the apartment that owns the object and kept as bytes, so
// that another thread of the process can take it later: as a proxy of its own apartment, or whole,
// as the reply that carries the object to a client. A packet is taken at most once; one never
// taken gives its references back when it goes.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <vector>

class CMarshalPacket {
public:
    CMarshalPacket() = default;
    ~CMarshalPacket() { Discard(); }
    CMarshalPacket(const CMarshalPacket&) = delete;
    CMarshalPacket& operator=(const CMarshalPacket&) = delete;
    CMarshalPacket(CMarshalPacket&& other) noexcept;
    CMarshalPacket& operator=(CMarshalPacket&& other) noexcept;

    // In the apartment that owns pUnk: a normal marshal for dwDestContext. The packet holds the
    // references the marshal made; pUnk's own are left alone.
    HRESULT Marshal(LPUNKNOWN pUnk, REFIID riid, DWORD dwDestContext);
    bool IsEmpty() const { return m_bytes.empty(); }
    const IID& GetIID() const { return m_iid; }

    // A proxy for the calling thread's apartment (the object itself in its own). Takes the packet,
    // whatever the outcome.
    HRESULT Unmarshal(REFIID riid, void** ppv);

    // Whether the standard marshaler, asked to marshal riid for a client, could write this packet:
    // a standard reference (its header says so) to the same interface, made normal for a context
    // that can take it.
    bool CanStandFor(REFIID riid, DWORD dwDestContext, DWORD mshlflags) const;
    ULONG GetSize() const { return static_cast<ULONG>(m_bytes.size()); }
    // Writes the packet into pStream, as the standard marshaler would write it, and takes it: its
    // references go to whoever unmarshals what was written.
    HRESULT WriteTo(IStream* pStream);

    // Gives the references back without a call into the owning apartment; the packet is empty after.
    void Discard();

private:
    std::vector<BYTE> m_bytes;
    IID m_iid = IID_NULL;
    DWORD m_dwDestContext = 0;
};
