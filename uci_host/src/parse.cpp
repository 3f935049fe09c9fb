// Reader of configuration files and of the import stream.
//
// A file is a sequence of commands (package, config, option, list, or their
// one-letter forms), one per line or separated by ';'. Arguments follow shell
// quoting: adjacent unquoted and quoted pieces join into one word, '\' makes
// the next byte literal outside single quotes, a '\' before a line end joins
// the lines, quoted text may span lines, and an unquoted '#' ends the line.
#include "parse.h"

#include "context.h"
#include "tree.h"

namespace uci_host {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Position bookkeeping for error messages.
struct cursor {
    std::string_view text;
    std::size_t pos = 0;
    int line = 1;
    std::size_t line_start = 0;

    bool eof() const { return pos >= text.size(); }
    char peek(std::size_t ahead = 0) const {
        return pos + ahead < text.size() ? text[pos + ahead] : '\0';
    }
    void newline_at(std::size_t nl_pos) {
        line++;
        line_start = nl_pos + 1;
    }
    // A '\' right before a line end (LF or CRLF): length of the sequence, or 0.
    std::size_t continuation() const {
        if (peek() != '\\') return 0;
        if (peek(1) == '\n') return 2;
        if (peek(1) == '\r' && peek(2) == '\n') return 3;
        return 0;
    }
    void skip_continuation(std::size_t n) {
        pos += n;
        newline_at(pos - 1);
    }
    parse_error error(const char* reason) const {
        return parse_error{reason, line, pos - line_start + 1};
    }
};

enum class word_end { blank, line, command, comment, eof };

// Reads one word starting at a non-blank byte. Throws parse_error on an
// unterminated quote.
std::string lex_word(cursor& c, word_end& end) {
    std::string out;
    for (;;) {
        if (c.eof()) {
            end = word_end::eof;
            return out;
        }
        if (std::size_t n = c.continuation()) {
            c.skip_continuation(n);
            continue;
        }
        char ch = c.peek();
        switch (ch) {
        case ' ':
        case '\t':
        case '\r':
            end = word_end::blank;
            return out;
        case '\n':
            end = word_end::line;
            return out;
        case ';':
            end = word_end::command;
            return out;
        case '#':
            end = word_end::comment;
            return out;
        case '\\':
            c.pos++;
            if (!c.eof()) out += c.text[c.pos++];
            break;
        case '\'': {
            parse_error unterminated = c.error("unterminated '");
            c.pos++;
            for (;;) {
                if (c.eof()) throw unterminated;
                char q = c.text[c.pos++];
                if (q == '\'') break;
                if (q == '\n') c.newline_at(c.pos - 1);
                out += q;
            }
            break;
        }
        case '"': {
            parse_error unterminated = c.error("unterminated \"");
            c.pos++;
            for (;;) {
                if (c.eof()) throw unterminated;
                if (std::size_t n = c.continuation()) {
                    c.skip_continuation(n);
                    continue;
                }
                char q = c.text[c.pos++];
                if (q == '"') break;
                if (q == '\\') {
                    if (c.eof()) throw unterminated;
                    q = c.text[c.pos++];
                }
                if (q == '\n') c.newline_at(c.pos - 1);
                out += q;
            }
            break;
        }
        default:
            out += ch;
            c.pos++;
        }
    }
}

void skip_line(cursor& c) {
    while (!c.eof() && c.peek() != '\n')
        c.pos++;
}

void skip_blanks(cursor& c) {
    for (;;) {
        if (std::size_t n = c.continuation()) {
            c.skip_continuation(n);
            continue;
        }
        if (c.eof() || !is_blank(c.peek())) return;
        c.pos++;
    }
}

enum class command_kind { package, config, option, list };

bool keyword(std::string_view w, command_kind& cmd) {
    if (w == "package" || w == "p")
        cmd = command_kind::package;
    else if (w == "config" || w == "c")
        cmd = command_kind::config;
    else if (w == "option" || w == "o")
        cmd = command_kind::option;
    else if (w == "list" || w == "l")
        cmd = command_kind::list;
    else
        return false;
    return true;
}

// Builds the tree from the commands of one text.
struct builder {
    uci_context* ctx;
    uci_package*& pkg;
    std::vector<uci_package*>& created;
    const parse_options& opt;
    uci_section* sec = nullptr;

    // Returns a reason on error, nullptr when the command was taken.
    const char* run(command_kind cmd, const std::vector<std::string>& args) {
        switch (cmd) {
        case command_kind::package:
            return package(args);
        case command_kind::config:
            return config(args);
        case command_kind::option:
            return option(args);
        case command_kind::list:
            return list(args);
        }
        return "invalid command";
    }

    const char* too_many(const std::vector<std::string>& args, std::size_t max) {
        return opt.strict && args.size() > max ? "too many arguments" : nullptr;
    }

    const char* package(const std::vector<std::string>& args) {
        if (args.empty()) return "insufficient arguments";
        if (const char* r = too_many(args, 1)) return r;
        if (!valid_package_name(args[0])) return "invalid character in name field";
        if (opt.ignore_package_lines && pkg) return nullptr;
        if (pkg && args[0] == pkg->e.name) return nullptr;
        if (find_package(ctx, args[0])) return "duplicate package";
        for (uci_package* p : created)
            if (args[0] == p->e.name) return "duplicate package";
        pkg = package_new(ctx, args[0]);
        created.push_back(pkg);
        sec = nullptr;
        return nullptr;
    }

    const char* config(const std::vector<std::string>& args) {
        if (args.empty()) return "insufficient arguments";
        if (const char* r = too_many(args, 2)) return r;
        if (!pkg) return "no package defined";
        const std::string& type = args[0];
        std::string_view name = args.size() > 1 ? std::string_view(args[1]) : "";
        if (!valid_type(type)) return "invalid character in type field";
        if (!name.empty() && !valid_name(name)) return "invalid character in name field";
        if (!name.empty()) {
            if (uci_section* s = find_section(pkg, name)) {
                if (type != s->type) {
                    if (opt.strict)
                        return "section of different type overwrites prior section with same name";
                    section_set_type(s, type);
                    if (opt.record) record(pkg, UCI_CMD_CHANGE, name, nullptr, type.c_str());
                }
                sec = s;
                return nullptr;
            }
        }
        sec = section_add(pkg, type, name);
        if (opt.record)
            record(pkg, name.empty() ? UCI_CMD_ADD : UCI_CMD_CHANGE, sec->e.name, nullptr,
                   type.c_str());
        return nullptr;
    }

    const char* option(const std::vector<std::string>& args) {
        if (args.empty()) return "insufficient arguments";
        if (const char* r = too_many(args, 2)) return r;
        if (!sec) return "option or list outside a section";
        if (!valid_name(args[0])) return "invalid character in name field";
        // A missing or empty value leaves the option as it was.
        if (args.size() < 2 || args[1].empty()) return nullptr;
        if (option_set(sec, args[0], args[1]) && opt.record)
            record(pkg, UCI_CMD_CHANGE, sec->e.name, args[0].c_str(), args[1].c_str());
        return nullptr;
    }

    const char* list(const std::vector<std::string>& args) {
        if (args.size() < 2) return "insufficient arguments";
        if (const char* r = too_many(args, 2)) return r;
        if (!sec) return "option or list outside a section";
        if (!valid_name(args[0])) return "invalid character in name field";
        option_add_item(sec, args[0], args[1]);
        if (opt.record)
            record(pkg, UCI_CMD_LIST_ADD, sec->e.name, args[0].c_str(), args[1].c_str());
        return nullptr;
    }
};

} // namespace

bool read_word(std::string_view text, std::size_t& pos, std::string& out, bool& bad) {
    cursor c{text, pos};
    bad = false;
    while (!c.eof() && (is_blank(c.peek()) || c.peek() == '\n'))
        c.pos++;
    if (c.eof()) {
        pos = c.pos;
        return false;
    }
    try {
        word_end end;
        out = lex_word(c, end);
    } catch (const parse_error&) {
        bad = true;
        pos = text.size();
        return false;
    }
    pos = c.pos;
    return true;
}

bool parse_text(uci_context* ctx, std::string_view text, uci_package*& current,
                std::vector<uci_package*>& created, const parse_options& opt, parse_error& err) {
    cursor c{text};
    builder b{ctx, current, created, opt};
    std::vector<std::string> args;
    try {
        for (;;) {
            skip_blanks(c);
            if (c.eof()) return true;
            char ch = c.peek();
            if (ch == '\n') {
                c.newline_at(c.pos);
                c.pos++;
                continue;
            }
            if (ch == ';') {
                c.pos++;
                continue;
            }
            if (ch == '#') {
                skip_line(c);
                continue;
            }
            // The command word is split on blanks only, so a keyword that
            // ends the line ("config\n") is not a keyword.
            parse_error at = c.error("invalid command");
            std::size_t start = c.pos;
            while (!c.eof() && c.peek() != ' ' && c.peek() != '\t' && c.peek() != '\n' &&
                   c.peek() != ';' && c.peek() != '\r')
                c.pos++;
            std::string_view word = text.substr(start, c.pos - start);
            command_kind cmd;
            bool known = keyword(word, cmd) && (c.peek() == ' ' || c.peek() == '\t');
            args.clear();
            word_end end = word_end::blank;
            if (known) {
                for (;;) {
                    skip_blanks(c);
                    if (c.eof() || c.peek() == '\n' || c.peek() == ';' || c.peek() == '#') break;
                    args.push_back(lex_word(c, end));
                    if (end != word_end::blank) break;
                }
                if (end == word_end::comment || (!c.eof() && c.peek() == '#')) skip_line(c);
            }
            const char* reason = known ? b.run(cmd, args) : "invalid command";
            if (reason) {
                if (opt.strict) {
                    err = at;
                    err.reason = reason;
                    return false;
                }
                skip_line(c);
            }
        }
    } catch (const parse_error& e) {
        err = e;
        return false;
    }
}

void set_parse_error(uci_context* ctx, const parse_error& err) {
    if (!ctx->pctx) ctx->pctx = new uci_parse_context;
    ctx->pctx->reason = err.reason;
    ctx->pctx->line = err.line;
    ctx->pctx->byte = err.byte;
}

} // namespace uci_host
