// The call_put parameter of the array functions: "call", "c", "put" or "p" in any letter case,
// one for all elements or one per element, each distinct spelling read by the scalar module's
// own parser.
#pragma once

#include <cstddef>
#include <memory>

#include "option_pricing/option_type.hpp"
#include "python/frame/text_column.hpp"

namespace korvex::py {

class CallPutColumn {
public:
    bool read(PyObject* object) { return text_.read(object); }
    bool scalar() const { return text_.scalar(); }
    Shape shape() const { return text_.shape(); }

    // Parses the spellings: ValueError with the scalar's message, "element i: " before it for
    // the first element spelled wrongly.
    bool prepare(std::size_t count);

    struct Elements {
        const OptionType* data;
        std::size_t step;  // 0 for one type for all
        OptionType operator[](std::size_t i) const { return data[i * step]; }
    };
    Elements elements() const { return each_ ? Elements{each_.get(), 1} : Elements{&single_, 0}; }

private:
    TextColumn text_;
    OptionType single_ = OptionType::call;
    std::unique_ptr<OptionType[]> each_;
};

inline bool prepare(CallPutColumn& column, std::size_t count) { return column.prepare(count); }

struct CallPutArray {
    using value_type = CallPutColumn;
    static bool read(PyObject* o, value_type& out) { return out.read(o); }
};

}  // namespace korvex::py
