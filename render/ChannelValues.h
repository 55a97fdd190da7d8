#pragma once

#include <optional>
#include <string>
#include <unordered_map>

// What a template reads above an item (placeholders starting with "-", and the channel's
// dates that stand in for an item's missing one) is the same for every item of a feed. The
// items of one feed share one CChannelValues, so each such value is looked up once per feed:
// a lookup walks the channel's children, and a feed of many items whose channel has many
// children (its items among them) would otherwise cost the product of the two.
//
// Valid while the items' channel, and the elements its values came from, stay as they are.
// One thread at a time.
class CChannelValues
{
public:
    // The value of the placeholder written `placeholder`, from `lookUp()` the first time.
    template <typename LookUp>
    const std::string& Placeholder(const std::string& placeholder, LookUp lookUp)
    {
        auto found = m_placeholders.find(placeholder);
        if (found == m_placeholders.end())
            found = m_placeholders.emplace(placeholder, lookUp()).first;
        return found->second;
    }

    // The channel's first date, from `lookUp()` the first time.
    template <typename LookUp> const std::string& Date(LookUp lookUp)
    {
        if (!m_date)
            m_date = lookUp();
        return *m_date;
    }

private:
    std::unordered_map<std::string, std::string> m_placeholders;
    std::optional<std::string> m_date;
};
