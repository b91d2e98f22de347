// Bucket keys: any text names a bucket 0..95 or none, decided by the start time alone: the
// text from the first "-" on and ASCII blanks around the start change nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calendar/bucket_key.hpp"
#include "fuzz_check.hpp"

using korvex::bucket_index;
using korvex::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view key(reinterpret_cast<const char*>(data), size);
    const std::optional<unsigned> index = bucket_index(key);
    check(!index || *index < korvex::kBucketsPerDay, "bucket index out of range", key);

    const std::string_view start = key.substr(0, key.find('-'));
    check(bucket_index(start) == index, "the end time changed the bucket", key);
    check(bucket_index(std::string(start) + " - 99:99") == index, "an appended end time changed the bucket", key);
    check(bucket_index(" \t" + std::string(start) + "\r\n") == index, "surrounding blanks changed the bucket", key);
    return 0;
}
