#include "callback_property.h"

#include "exceptions.h"

void CCallbackProperty::Set(IDispatch* pCallback)
{
    if (pCallback == nullptr) {
        m_receiver.Detach();
        return;
    }
    HRESULT hr = m_receiver.Attach(pCallback, IID_IDispatch);
    if (FAILED(hr))
        AfxThrowOleException(hr);
}

HRESULT CCallbackProperty::CallWith(CDispatchArgs& params)
{
    HRESULT hr = m_receiver.Invoke(DISPID_VALUE, params.Data(), params.Count());
    // Only at home may the reference be given back; elsewhere the next call there drops it.
    if (AfxIsReceiverGone(hr) && m_receiver.IsAtHome())
        m_receiver.Detach();
    return hr;
}
