#pragma once

// The entries of an open folder, read through a directory stream that is
// closed when the listing goes.

#include "platform/Descriptor.h"

#include <cstring>
#include <dirent.h>

namespace orvane {

class FolderListing {
public:
    // Reads the folder `stream` is open on, and closes it when done; one that
    // is not valid, or not a folder, lists nothing and leaves errno set.
    explicit FolderListing(Descriptor stream) {
        if (!stream.valid())
            return;
        m_dir = ::fdopendir(stream.get());
        if (m_dir)
            stream.release();
    }
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    ~FolderListing() {
        if (m_dir)
            ::closedir(m_dir);
    }

    bool valid() const { return m_dir != nullptr; }
    // The next entry's name, "." and ".." left out; null at the end.
    const char* next() {
        while (const dirent* entry = m_dir ? ::readdir(m_dir) : nullptr) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                return entry->d_name;
        }
        return nullptr;
    }

private:
    DIR* m_dir = nullptr;
};

} // namespace orvane
