// The file form of a package, as commit writes it and export prints it.
#include "write.h"

#include "tree.h"

namespace uci_host {

namespace {

// Types are written bare; one holding a byte that the reader would take as
// quoting or a comment is quoted, or it would not read back the same.
std::string type_text(std::string_view type) {
    for (char c : type)
        if (c == '\'' || c == '"' || c == '\\' || c == '#' || c == ';') return quote(type);
    return std::string(type);
}

} // namespace

std::string write_package(const uci_package* p, bool header, bool name_all) {
    std::string out;
    if (header) {
        out += "package ";
        out += p->e.name;
        out += '\n';
    }
    const uci_element* se;
    uci_foreach_element(&p->sections, se) {
        const uci_section* s = uci_to_section(se);
        out += "\nconfig ";
        out += type_text(s->type);
        if (!s->anonymous || name_all) {
            out += ' ';
            out += quote(s->e.name);
        }
        out += '\n';
        const uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            const uci_option* o = uci_to_option(oe);
            if (o->type == UCI_TYPE_STRING) {
                out += "\toption ";
                out += o->e.name;
                out += ' ';
                out += quote(o->v.string);
                out += '\n';
                continue;
            }
            const uci_element* item;
            uci_foreach_element(&o->v.list, item) {
                out += "\tlist ";
                out += o->e.name;
                out += ' ';
                out += quote(item->name);
                out += '\n';
            }
        }
    }
    out += '\n';
    return out;
}

} // namespace uci_host
