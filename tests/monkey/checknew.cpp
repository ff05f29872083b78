// SPDX-License-Identifier: GPL-3.0-or-later
// Checks that each FILE.new named is the line rule's output for FILE, line by line, for any
// rating at each line, since the ratings may change while a save runs. A line ends at CR, LF
// or CR LF; every output line must end with CR LF. Deliberately plain, one byte at a time and
// sharing nothing with the product. Usage: monkey_checknew FILE.new...; exit status 1 and the
// first difference of each file printed when one is not.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace {

class Lines
{
public:
    explicit Lines(const std::string &path) : m_file(std::fopen(path.c_str(), "rb"), std::fclose)
    {
    }

    bool opened() const { return m_file != nullptr; }

    // The next line with its terminator; false at the end of the file.
    bool next(std::string &line)
    {
        line.clear();
        for (int byte; (byte = getc_unlocked(m_file.get())) != EOF;) {
            line += char(byte);
            if (byte == '\n')
                return true;
            if (byte == '\r') {
                const int after = getc_unlocked(m_file.get());
                if (after == '\n')
                    line += '\n';
                else if (after != EOF)
                    std::ungetc(after, m_file.get());
                return true;
            }
        }
        return !line.empty();
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> m_file;
};

std::string_view withoutTerminator(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

// `out` without its CR LF is the rule's output for `line` at some rating: the kept bytes,
// spaces up to column 33, then " N000 " for a rating index N of 0 to 12.
bool allowed(std::string_view line, std::string_view out)
{
    size_t kept = 0;
    size_t spaces = 0;
    if (line.size() >= 4 && line.substr(2, 2) == "ST")
        kept = 8, spaces = 25;
    else if (line.size() >= 5 && line.substr(2, 3) == "MAX")
        kept = 12, spaces = 21;
    else
        return out == line;
    kept = std::min(kept, line.size());
    if (out.substr(0, kept) != line.substr(0, kept) || out.size() < kept + spaces
        || out.substr(kept, spaces).find_first_not_of(' ') != std::string_view::npos)
        return false;
    static const std::array<std::string, 13> values = [] {
        std::array<std::string, 13> texts;
        for (size_t index = 0; index < texts.size(); ++index)
            texts[index] = ' ' + std::to_string(index * 1000) + ' ';
        return texts;
    }();
    out.remove_prefix(kept + spaces);
    return std::find(values.begin(), values.end(), out) != values.end();
}

// At most 80 bytes, anything but printable ASCII as \xNN.
std::string shown(const std::string &bytes)
{
    std::string text;
    for (const unsigned char byte : bytes.substr(0, 80)) {
        if (byte >= 0x20 && byte < 0x7f)
            text += char(byte);
        else
            text += {'\\', 'x', "0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    }
    return text;
}

// The first difference, or an empty text when `newPath` is well-formed.
std::string difference(const std::string &newPath)
{
    if (newPath.size() < 5 || newPath.compare(newPath.size() - 4, 4, ".new") != 0)
        return "not a .new file";
    Lines input(newPath.substr(0, newPath.size() - 4));
    Lines output(newPath);
    if (!input.opened() || !output.opened())
        return "cannot read it or the file it was made from";
    std::string line, out;
    for (long number = 1; input.next(line); ++number) {
        const bool present = output.next(out);
        const std::string_view outView = out;
        const bool crlf = out.size() >= 2 && outView.substr(out.size() - 2) == "\r\n";
        if (!present || !crlf
            || !allowed(withoutTerminator(line), outView.substr(0, out.size() - 2)))
            return "line " + std::to_string(number) + " \"" + shown(line) + "\" became \""
                + (present ? shown(out) : "(missing)") + '"';
    }
    return output.next(out) ? "more lines than its input: \"" + shown(out) + '"' : "";
}

} // namespace

int main(int argc, char *argv[])
{
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string fault = difference(argv[i]);
        if (!fault.empty()) {
            std::printf("%s: %s\n", shown(argv[i]).c_str(), fault.c_str());
            status = 1;
        }
    }
    return status;
}
