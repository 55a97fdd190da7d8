#include "provider/MessageProviderFactory.h"

#include "provider/MessageProviderRSS.h"

std::unique_ptr<IMessageProvider> CMessageProviderFactory::Create(std::string mailbox,
                                                                  const std::string& password)
{
    return std::make_unique<CMessageProviderRSS>(std::move(mailbox), password);
}
