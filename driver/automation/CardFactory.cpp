#include "driver/automation/CardFactory.h"

#include <utility>

namespace orv::automation {

namespace {

// Set at library start or by tests, read by Init; both on the caller's thread.
CardFactory& InstalledFactory()
{
    static CardFactory factory = DefaultCardFactory;
    return factory;
}

} // namespace

std::unique_ptr<CardInterface> DefaultCardFactory(int /*driverType*/)
{
    return nullptr;
}

CardFactory SetCardFactory(CardFactory factory)
{
    return std::exchange(InstalledFactory(), std::move(factory));
}

void ResetCardFactory()
{
    InstalledFactory() = DefaultCardFactory;
}

std::unique_ptr<CardInterface> CreateCard(int driverType)
{
    if (driverType < 0 || driverType > 2) {
        return nullptr;
    }
    const CardFactory& factory = InstalledFactory();
    return factory ? factory(driverType) : nullptr;
}

} // namespace orv::automation
