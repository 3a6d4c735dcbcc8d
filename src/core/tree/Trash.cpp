#include "tree/Trash.h"

#include <cerrno>
#include <gio/gio.h>
#include <memory>

namespace core::tree {

namespace {

struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};

/// The errno closest to a GIO error, so that callers can tell kinds apart.
int errnoFor(const GError &error)
{
    if (error.domain != G_IO_ERROR) {
        return EIO;
    }
    switch (error.code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    case G_IO_ERROR_NO_SPACE:
        return ENOSPC;
    case G_IO_ERROR_READ_ONLY:
        return EROFS;
    default:
        return EIO;
    }
}

} // namespace

Status moveToTrash(const std::string &resolvedPath)
{
    if (resolvedPath.empty() || resolvedPath.front() != '/') {
        return Error::fromErrno(EINVAL, resolvedPath);
    }
    // The local file system directly: no GIO module (such as a desktop's
    // virtual file system daemon) is loaded or asked.
    GVfs *local = g_vfs_get_local();
    const std::unique_ptr<GFile, ObjectUnref> file(g_vfs_get_file_for_path(local, resolvedPath.c_str()));
    GError *error = nullptr;
    if (g_file_trash(file.get(), nullptr, &error) != FALSE) {
        return Ok{};
    }
    Error failure{ error != nullptr ? errnoFor(*error) : EIO,
        resolvedPath,
        error != nullptr && error->message != nullptr ? std::string(error->message)
                                                      : std::string("cannot be trashed") };
    if (error != nullptr) {
        g_error_free(error);
    }
    return failure;
}

} // namespace core::tree
