// An early-bound C++ client of QDTALLY.TALLY, built against the consumer's generated tally_i.h: it
// calls ITally through its vtable (the automation marshaler's proxy), hears the Changed event on a
// sink advised to the source interface that IProvideClassInfo2 names, and its callback through
// OnChanged; an overflow comes back as its HRESULT. Three objects show their own threads in the
// server's thread count. It prints one line of results and one saying whether the server's
// IErrorInfo arrived (Wine 8 carries none across processes), or says what failed and exits 1.
#include <windows.h>
#include <ocidl.h>
#include <tlhelp32.h>

#include <tally_i.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

// Records what it is called with: "<dispid>:<first argument>" each call.
class CRecorder final : public IDispatch {
public:
    explicit CRecorder(REFIID iid) : m_iid(iid) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const bool bOurs = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, m_iid);
        *ppv = bOurs ? this : nullptr;
        if (!bOurs)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRef; }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override { return *pctinfo = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*) override
    {
        VARIANT v;
        VariantInit(&v);
        if (pParams->cArgs == 0 || FAILED(VariantChangeType(&v, &pParams->rgvarg[pParams->cArgs - 1], 0, VT_I4)))
            v.lVal = -1;
        m_heard += (m_heard.empty() ? "" : ",") + std::to_string(dispid) + ":" + std::to_string(v.lVal);
        return S_OK;
    }

    ULONG m_nRef = 1;
    std::string m_heard;

private:
    IID m_iid;
};

int Fail(const char* what, HRESULT hr)
{
    std::printf("FAILED %s: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The threads of the running QDTALLY.EXE; 0 when none runs.
int ServerThreads()
{
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    DWORD pid = 0;
    PROCESSENTRY32W process = {sizeof(process)};
    for (BOOL b = Process32FirstW(hSnap, &process); b && pid == 0; b = Process32NextW(hSnap, &process))
        if (lstrcmpiW(process.szExeFile, L"QDTALLY.EXE") == 0)
            pid = process.th32ProcessID;
    int n = 0;
    THREADENTRY32 thread = {sizeof(thread)};
    for (BOOL b = Thread32First(hSnap, &thread); b && pid != 0; b = Thread32Next(hSnap, &thread))
        n += thread.th32OwnerProcessID == pid ? 1 : 0;
    CloseHandle(hSnap);
    return n;
}

}  // namespace

int main()
{
    if (FAILED(CoInitialize(nullptr)))
        return Fail("CoInitialize", E_FAIL);
    ITally* pTally = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Tally, nullptr, CLSCTX_LOCAL_SERVER, IID_ITally, reinterpret_cast<void**>(&pTally));
    if (FAILED(hr))
        return Fail("CoCreateInstance(ITally)", hr);
    IProvideClassInfo2* pInfo = nullptr;
    IID source = GUID_NULL;
    if (FAILED(hr = pTally->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&pInfo))) ||
        FAILED(hr = pInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)))
        return Fail("IProvideClassInfo2", hr);
    pInfo->Release();
    CRecorder sink(source), callback(IID_IDispatch);
    IConnectionPointContainer* pContainer = nullptr;
    IConnectionPoint* pPoint = nullptr;
    DWORD cookie = 0;
    if (FAILED(hr = pTally->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer))) ||
        FAILED(hr = pContainer->FindConnectionPoint(DIID_ITallyEvents, &pPoint)) || FAILED(hr = pPoint->Advise(&sink, &cookie)))
        return Fail("advising ITallyEvents", hr);
    pContainer->Release();

    long total = 0;
    if (FAILED(hr = pTally->put_OnChanged(&callback)) || FAILED(hr = pTally->Add(2, &total)) ||
        FAILED(hr = pTally->put_Total(10)) || FAILED(hr = pTally->Add(3, &total)))
        return Fail("calling ITally", hr);
    const long nTotal = total;
    hr = pTally->Add(LONG_MAX, &total);
    std::string error = "none";
    IErrorInfo* pError = nullptr;
    if (GetErrorInfo(0, &pError) == S_OK) {
        BSTR description = nullptr;
        pError->GetDescription(&description);
        char text[256] = "";
        WideCharToMultiByte(CP_ACP, 0, description != nullptr ? description : L"", -1, text, sizeof(text), nullptr, nullptr);
        error = text[0] != '\0' ? "described" : "empty";
        SysFreeString(description);
        pError->Release();
    }
    const unsigned long overflow = static_cast<unsigned long>(hr);
    pPoint->Unadvise(cookie);
    pPoint->Release();
    pTally->put_OnChanged(nullptr);

    // Each object has a thread of its own in the server (and the endpoint that serves it there).
    const int nOne = ServerThreads();
    ITally* pMore[2] = {};
    long one = 0;
    for (ITally*& p : pMore)
        if (FAILED(hr = CoCreateInstance(CLSID_Tally, nullptr, CLSCTX_LOCAL_SERVER, IID_ITally, reinterpret_cast<void**>(&p))) ||
            FAILED(hr = p->Add(1, &one)))
            return Fail("a further object", hr);
    const int nThree = ServerThreads();
    for (ITally* p : pMore)
        p->Release();
    pTally->Release();
    std::printf("total %ld, heard %s, called back %s, overflow 0x%08lX, threads %s\nIErrorInfo: %s\n", nTotal,
                sink.m_heard.c_str(), callback.m_heard.c_str(), overflow,
                nThree >= nOne + 2 ? "one more each" : ("not one more each: " + std::to_string(nOne) + " then " + std::to_string(nThree)).c_str(),
                error.c_str());
    CoUninitialize();
    return 0;
}
