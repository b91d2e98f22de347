#include "python/classes.hpp"

namespace korvex::py {

std::span<const ClassEntry> registered_classes() {
    return {};
}

}  // namespace korvex::py
