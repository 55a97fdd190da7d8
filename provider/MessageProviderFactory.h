#pragma once

#include "provider/MessageProvider.h"

// Creates one CMessageProviderRSS per login. Stateless, so all session threads may use it at
// once. The plug-in holds exactly one instance, which lives as long as the module.
class CMessageProviderFactory : public IMessageProviderFactory
{
public:
    std::unique_ptr<IMessageProvider> Create(std::string mailbox,
                                             const std::string& password) override;
};
