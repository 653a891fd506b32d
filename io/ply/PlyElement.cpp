#include "io/ply/PlyElement.h"

#include <algorithm>
#include <utility>

namespace orrisk::ply {

bool PlyElement::ContainsProperty(const std::string& propertyName) const
{
    return std::any_of(properties.begin(), properties.end(),
                       [&](const std::unique_ptr<Property>& property) { return property->name == propertyName; });
}

const std::unique_ptr<Property>& PlyElement::PropertyNamed(const std::string& propertyName) const
{
    for (const std::unique_ptr<Property>& property : properties)
        if (property->name == propertyName)
            return property;
    throw std::runtime_error("PLY parser: element " + name + " does not have property " + propertyName);
}

std::unique_ptr<Property>& PlyElement::PropertyNamed(const std::string& propertyName)
{
    return const_cast<std::unique_ptr<Property>&>(std::as_const(*this).PropertyNamed(propertyName));
}

}  // namespace orrisk::ply
