#include "python/frame/element_errors.hpp"

#include "python/frame/errors.hpp"

namespace korvex::py {

std::string element_message(std::size_t index, std::string_view message) {
    std::string text = "element " + std::to_string(index) + ": ";
    text.append(message);
    return text;
}

void prefix_element_error(std::size_t index) {
    char prefix[48];
    PyOS_snprintf(prefix, sizeof prefix, "element %zu: ", index);
    prefix_type_error(prefix);
}

}  // namespace korvex::py
