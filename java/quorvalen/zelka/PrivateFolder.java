// The folder of this user's alone that the jar's library is extracted under, found or made in the temporary folder and checked.
package quorvalen.zelka;

import java.io.Closeable;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.UserPrincipal;
import java.util.Map;
import java.util.Objects;

/**
 * Where this user's extractions go, under {@value #TMPDIR_PROPERTY} (default
 * {@code java.io.tmpdir}). On Linux that parent, and every folder above it, must be one only
 * root and this user can change; in it the folder {@code zknative7-<uid>}, made owner-only and
 * checked (this user's, owner-only, a folder and not a link), serves every JVM of the user. A
 * name another user took first is never used: this JVM then makes a folder of a fresh name of
 * its own, and removes it when done. On Windows the parent is the user's own {@code %TEMP%}, and
 * is used as it is (see {@link NamedFolder}).
 */
final class PrivateFolder implements Closeable {
    static final String TMPDIR_PROPERTY = "zknative7.tmpdir";
    static final String PREFIX = NativeLibrary.NAME + "-";

    private final Folder folder;
    private final OpenFolder parent;  // null unless this JVM's own folder is to be removed from it
    private final String own;

    private PrivateFolder(Folder folder, OpenFolder parent, String own) {
        this.folder = folder;
        this.parent = parent;
        this.own = own;
    }

    static Path parent() {
        String configured = System.getProperty(TMPDIR_PROPERTY);
        return Paths.get(configured != null && !configured.isEmpty() ? configured : System.getProperty("java.io.tmpdir"))
            .toAbsolutePath();
    }

    /** This user's folder under {@code parent}, or an IOException whose message says what is wrong. */
    static PrivateFolder open(Path parent) throws IOException {
        Path real;
        try {
            real = parent.toRealPath();
        } catch (NoSuchFileException missing) {
            throw new IOException("no such folder");
        }
        if (OsFamily.hostIsWindows()) {
            BasicFileAttributes seen = Files.readAttributes(real, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
            if (!new Folder.Entry(seen, true).isOurs(Folder.Entry.Kind.FOLDER)) {
                throw new IOException(real + " is not a plain folder");
            }
            return new PrivateFolder(new NamedFolder(real), null, null);
        }
        Map<String, Object> self;
        try {
            self = Files.readAttributes(Paths.get("/proc/self"), "unix:uid,owner");
        } catch (IOException | UnsupportedOperationException e) {
            throw new IOException("cannot tell from /proc/self which user this process runs as: " + e, e);
        }
        int uid = (Integer) self.get("uid");
        String problem = ParentCheck.problem(real, uid);
        if (problem != null) {
            throw new IOException("refused: " + problem + " (choose a folder only you and root can change with -D"
                + TMPDIR_PROPERTY + "=DIR)");
        }
        OpenFolder opened = OpenFolder.open(real, (UserPrincipal) self.get("owner"));
        try {
            Object key = Files.readAttributes(real, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS).fileKey();
            if (!Objects.equals(key, opened.self().key)) {
                throw new IOException(real + " was replaced while it was opened");
            }
            String name = PREFIX + uid;
            opened.makeFolder(name);
            if (opened.entry(name).isOurs(Folder.Entry.Kind.FOLDER)) {
                PrivateFolder shared = new PrivateFolder(opened.openFolder(name), null, null);
                opened.close();
                return shared;
            }
            // Squatted, or opened to others since: a fresh folder, for this JVM alone.
            String fresh = opened.createFolder(name + "-");
            return new PrivateFolder(opened.openFolder(fresh), opened, fresh);
        } catch (IOException | RuntimeException e) {
            opened.close();
            throw e;
        }
    }

    Folder folder() {
        return folder;
    }

    /** Closes the folder; removes this JVM's own folder when empty. */
    @Override
    public void close() {
        folder.close();
        if (parent != null) {
            try {
                parent.deleteFolder(own);
            } catch (IOException stillInUse) {
                // Left, as a loaded library keeps its folder.
            }
            parent.close();
        }
    }
}
