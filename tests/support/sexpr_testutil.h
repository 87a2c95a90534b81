// Reads the parenthesised lists that djvused prints (C-style escapes inside quotes) into a
// plain tree, so that tests can compare them with what the library read.
#pragma once

#include <cctype>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtxtest {

struct SExpr {
    bool list = false;
    std::string atom;
    std::vector<SExpr> items;
    bool operator==(const SExpr&) const = default;
};

// C-style escapes: \n and its kin, octal \ooo, and a backslash before any other character.
inline std::string unescapeC(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        if (c >= '0' && c <= '7') {
            int v = 0;
            for (int k = 0; k < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++k) v = v * 8 + (s[i++] - '0');
            --i;
            out += char(v);
            continue;
        }
        static const std::string from = "abtnvfr", to = "\a\b\t\n\v\f\r";
        size_t k = from.find(c);
        out += k == std::string::npos ? c : to[k];
    }
    return out;
}

class SExprReader {
public:
    explicit SExprReader(const std::string& text) : s_(text) {}

    // Every top-level list, in order.
    std::vector<SExpr> readAll()
    {
        std::vector<SExpr> out;
        for (skip(); at_ < s_.size(); skip()) out.push_back(read());
        return out;
    }

private:
    void skip()
    {
        while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
    }

    SExpr read()
    {
        SExpr e;
        if (s_[at_] == '(') {
            e.list = true;
            ++at_;
            for (skip(); at_ < s_.size() && s_[at_] != ')'; skip()) e.items.push_back(read());
            if (at_ >= s_.size()) throw std::runtime_error("unbalanced list");
            ++at_;
        } else if (s_[at_] == '"') {
            e.atom = quoted();
        } else {
            while (at_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[at_])) && s_[at_] != '(' &&
                   s_[at_] != ')')
                e.atom += s_[at_++];
        }
        return e;
    }

    std::string quoted()
    {
        size_t from = ++at_;
        for (; at_ < s_.size() && s_[at_] != '"'; ++at_)
            if (s_[at_] == '\\') ++at_;
        return unescapeC(s_.substr(from, at_++ - from));
    }

    const std::string& s_;
    size_t at_ = 0;
};

inline void PrintTo(const SExpr& e, std::ostream* os)
{
    if (!e.list) {
        *os << '"' << e.atom << '"';
        return;
    }
    *os << '(';
    for (size_t i = 0; i < e.items.size(); ++i) {
        if (i) *os << ' ';
        PrintTo(e.items[i], os);
    }
    *os << ')';
}

inline std::vector<SExpr> readSExprs(const std::string& text) { return SExprReader(text).readAll(); }

} // namespace vtxtest
