// A small command-line parser: options with a value (--data DIR), flags
// (--json) and positional arguments, in any order; --name=VALUE too, and
// "--" ends the options.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace varnoke::tool {

struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;

    std::optional<std::string> Value(const std::string& name) const {
        auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// Parses args[first..]; on a bad option returns nothing and sets `error`.
inline std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::size_t first,
                                           const std::set<std::string>& valueOptions,
                                           const std::set<std::string>& flagOptions, std::string& error) {
    Options o;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {  // everything after it is an argument, "-x" included
            o.positional.insert(o.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
            const std::string name = a.substr(0, eq);
            if (!valueOptions.count(name)) {
                error = "unknown option " + name;
                return std::nullopt;
            }
            o.values[name] = a.substr(eq + 1);
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            if (valueOptions.count(a)) {
                if (i + 1 >= args.size()) {
                    error = "option " + a + " needs a value";
                    return std::nullopt;
                }
                o.values[a] = args[++i];
            } else if (flagOptions.count(a)) {
                o.flags.insert(a);
            } else {
                error = "unknown option " + a;
                return std::nullopt;
            }
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

}  // namespace varnoke::tool
