#include "apartment_part.h"

#include "cmd_target.h"

CApartmentPart::CApartmentPart(CCmdTarget* pOwner) : m_pOwner(pOwner)
{
    if (m_pOwner != nullptr)
        m_pOwner->EnrollPart(this);
}

CApartmentPart::~CApartmentPart()
{
    if (m_pOwner != nullptr)
        m_pOwner->WithdrawPart(this);
}
