// CApartmentPart: a part of an object that holds pointers which belong to the object's apartment (an
// event's receivers). It enrolls with its object when it is built; when the object's count reaches
// zero, the object asks every part to give back what it holds, on that thread, before OnFinalRelease
// (which may move the rest of the release to another thread). So no class gives them back by hand.
#pragma once

class CCmdTarget;

class CApartmentPart {
public:
    // pOwner nullptr: the part belongs to another part, which gives it back.
    explicit CApartmentPart(CCmdTarget* pOwner);
    virtual ~CApartmentPart();
    CApartmentPart(const CApartmentPart&) = delete;
    CApartmentPart& operator=(const CApartmentPart&) = delete;

    // Gives back what is held for the calling thread's apartment; what belongs elsewhere stays.
    virtual void ReleaseAtHome() = 0;

private:
    friend class CCmdTarget;
    CCmdTarget* const m_pOwner;
    CApartmentPart* m_pNext = nullptr;
};
