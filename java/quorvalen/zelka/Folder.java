// One folder's entries, looked at, opened and removed without ever following a link.
package quorvalen.zelka;

import java.io.Closeable;
import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;

/**
 * A folder the loader works in, as each host allows: on Linux held open, so that every entry is
 * reached relative to the folder itself ({@link LinuxFolder}); on Windows by its path, once its
 * rules are seen to let nobody else change it ({@link WindowsFolder}). No method follows a link,
 * and none opens what it has not first seen to be a plain file of this user's.
 */
interface Folder extends Closeable {
    /** The path that reached this folder when it was opened. */
    Path path();

    /** The names in the folder. */
    List<String> names() throws IOException;

    /** What the name is, seen without following it. */
    Entry entry(String name) throws IOException;

    /** The folder of that name, once seen to be a folder of this user's alone. */
    Folder openFolder(String name) throws IOException;

    /** Makes the folder of that name, this user's alone; false when the name is taken. */
    boolean makeFolder(String name) throws IOException;

    /** A file of the folder, never through a link; one it creates is open to this user alone. */
    FileChannel open(String name, Set<? extends OpenOption> options) throws IOException;

    /** A file of the folder to read, never through a link, which nobody can change while it is open. */
    FileChannel openUnchangeable(String name) throws IOException;

    /** The path by which System.load reaches the entry, once seen to lead to that very entry. */
    Path pathTo(String name, Entry entry) throws IOException;

    /** Removes a file, or a link itself rather than what it names. */
    void deleteFile(String name) throws IOException;

    /** Removes an empty folder. */
    void deleteFolder(String name) throws IOException;

    @Override
    void close();

    /** The names a listing of a folder holds. */
    static List<String> namesIn(DirectoryStream<Path> listing) {
        List<String> names = new ArrayList<>();
        for (Path entry : listing) {
            names.add(entry.getFileName().toString());
        }
        return names;
    }

    /** Makes a folder of a new name starting {@code prefix}, open to this user alone, and returns its name. */
    default String createFolder(String prefix) throws IOException {
        // Owner-only on POSIX; the new name cannot be a link or an entry another user made.
        return Files.createTempDirectory(path(), prefix).getFileName().toString();
    }

    /** A folder that is not, or no longer, the one of this user's alone that was looked at. */
    final class NotOurs extends IOException {
        private static final long serialVersionUID = 1L;

        NotOurs(String message) {
            super(message);
        }
    }

    /** What an entry of a folder is, as seen without following it. */
    final class Entry {
        /** A link, a device, a pipe or a socket is neither, and is never opened. */
        enum Kind { FOLDER, FILE, OTHER }

        final Kind kind;
        /** Whether the entry belongs to this user, and no other has any access to it. */
        final boolean ours;
        final long modifiedMillis;
        final long size;
        /** What tells this file apart from every other; null where the system has nothing such. */
        final Object key;

        Entry(BasicFileAttributes attributes, boolean ours) {
            // Windows reports a junction as a folder that is also "other".
            this.kind = attributes.isSymbolicLink() || attributes.isOther() ? Kind.OTHER
                : attributes.isDirectory() ? Kind.FOLDER : attributes.isRegularFile() ? Kind.FILE : Kind.OTHER;
            this.ours = ours;
            this.modifiedMillis = attributes.lastModifiedTime().toMillis();
            this.size = attributes.size();
            this.key = attributes.fileKey();
        }

        boolean isOurs(Kind wanted) {
            return kind == wanted && ours;
        }
    }
}
