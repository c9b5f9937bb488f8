#pragma once

#include <optional>
#include <string>
#include <string_view>

// Names of a tree brought into the library, judged one by one: a library copied from
// Windows may arrive with UTF-8 names, a GBK one may hold names that happen to be valid
// UTF-8 too, and one tree may hold both.
namespace maintenance {

class ImportNames
{
public:
    // Notes what a name of the tree says about the tree as a whole. Call it for every
    // name (folders and files) before asking; a name seen twice counts twice.
    void observe(std::string_view name);

    // The GBK name to write for a name of the tree: bytes that are not UTF-8 are GBK and
    // kept when well-formed; a name valid both ways takes the reading that gives Chinese
    // text, and the tree's other names decide a tie. nullopt when no reading gives a
    // name GBK can hold (the caller reports it and skips it). The library's results
    // folder name passes unchanged.
    std::optional<std::string> gbkName(std::string_view name) const;

private:
    enum class Reading { Gbk, Utf8, Undecided };
    static Reading ownReading(std::string_view name);

    int m_gbkNames = 0;
    int m_utf8Names = 0;
};

} // namespace maintenance
