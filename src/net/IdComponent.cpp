#include "net/IdComponent.h"

#include "net/IdStack.h"

TIdComponent::TIdComponent(std::string name) : name_(std::move(name)) {
    AcquireStack();
}

TIdComponent::~TIdComponent() {
    ReleaseStack();
}
