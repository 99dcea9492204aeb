#pragma once

struct fz_context;
struct pdf_obj;

namespace PDF {

// Dictionary edits with the entry order the update is written in: a new key
// is appended, a replaced value keeps its key's position, and deleting a key
// moves the dictionary's last entry into the freed position.
//
// MuPDF keeps these rules for dictionaries of up to kMaxOrderedEntries
// entries; beyond that it sorts the keys (already while parsing), and no
// order of the document survives. Each edit returns whether the dictionary is
// in the order the rules give; false means MuPDF reordered it.
//
// Like the MuPDF calls they make, these raise MuPDF errors (out of memory, not
// a dictionary): call them inside fz_try. They hold no C++ objects.
class DictEdit {
public:
    static bool Put(fz_context* ctx, pdf_obj* dict, pdf_obj* key, pdf_obj* value);
    // Deleting an absent key changes nothing and answers true.
    static bool Delete(fz_context* ctx, pdf_obj* dict, pdf_obj* key);
    // Delete, then append: the key becomes the last entry.
    static bool MoveToEnd(fz_context* ctx, pdf_obj* dict, pdf_obj* key, pdf_obj* value);

    // Position of key in dict, -1 when absent.
    static int IndexOf(fz_context* ctx, pdf_obj* dict, pdf_obj* key);

    static constexpr int kMaxOrderedEntries = 100;
};

}  // namespace PDF
