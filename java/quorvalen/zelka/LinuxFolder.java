// A folder held open on Linux: its entries read, opened and removed relative to it, never by a path another user could change.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.channels.SeekableByteChannel;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.SecureDirectoryStream;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFileAttributes;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.Collections;
import java.util.EnumSet;
import java.util.HashSet;
import java.util.List;
import java.util.Objects;
import java.util.Set;

/**
 * A folder held open through a {@link SecureDirectoryStream}: each entry is looked at with
 * {@code fstatat}, opened with {@code openat} and {@code O_NOFOLLOW}, and removed with
 * {@code unlinkat}, all relative to the folder opened, so a name another user renames or swaps for
 * a link afterwards leads nowhere else. Nothing is opened before it is seen to be this user's:
 * only a file's owner can hold a lease on it, so no open here waits for another user.
 */
final class LinuxFolder implements Folder {
    private static final Set<PosixFilePermission> OTHERS = EnumSet.complementOf(EnumSet.of(
        PosixFilePermission.OWNER_READ, PosixFilePermission.OWNER_WRITE, PosixFilePermission.OWNER_EXECUTE));
    private static final FileAttribute<Set<PosixFilePermission>> NEW_FOLDER =
        PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------"));
    private static final FileAttribute<Set<PosixFilePermission>> NEW_FILE =
        PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rw-------"));
    private static final Path HERE = Paths.get(".");

    private final SecureDirectoryStream<Path> stream;
    private final Path path;
    private final UserPrincipal user;

    private LinuxFolder(SecureDirectoryStream<Path> stream, Path path, UserPrincipal user) {
        this.stream = stream;
        this.path = path;
        this.user = user;
    }

    /**
     * Opens the folder at {@code path}, whose every folder on the way from the root the caller has
     * seen to be one no other user can change, on behalf of {@code user}.
     */
    static LinuxFolder open(Path path, UserPrincipal user) throws IOException {
        DirectoryStream<Path> stream = Files.newDirectoryStream(path);
        if (!(stream instanceof SecureDirectoryStream)) {
            stream.close();
            throw new IOException("this JVM cannot work relative to an open folder");
        }
        LinuxFolder opened = new LinuxFolder((SecureDirectoryStream<Path>) stream, path, user);
        try {
            Object key = Files.readAttributes(path, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS).fileKey();
            return opened.sameAs(key, path);
        } catch (IOException | RuntimeException e) {
            opened.close();
            throw e;
        }
    }

    /** This folder, when it is still the one with `key`; else NotOurs, naming `path`. */
    private LinuxFolder sameAs(Object key, Path path) throws IOException {
        if (!Objects.equals(key, self().key)) {
            throw new NotOurs(path + " was replaced while it was opened");
        }
        return this;
    }

    @Override
    public Path path() {
        return path;
    }

    @Override
    public List<String> names() throws IOException {
        // A stream lists once; the folder opened again relative to itself lists afresh.
        try (SecureDirectoryStream<Path> again = stream.newDirectoryStream(HERE, LinkOption.NOFOLLOW_LINKS)) {
            return Folder.namesIn(again);
        }
    }

    @Override
    public Entry entry(String name) throws IOException {
        return entryOf(stream.getFileAttributeView(relative(name), PosixFileAttributeView.class, LinkOption.NOFOLLOW_LINKS)
            .readAttributes());
    }

    /** What this folder itself is, as the open folder shows it. */
    private Entry self() throws IOException {
        return entryOf(stream.getFileAttributeView(PosixFileAttributeView.class).readAttributes());
    }

    private Entry entryOf(PosixFileAttributes attributes) {
        return new Entry(attributes, user.equals(attributes.owner()) && Collections.disjoint(attributes.permissions(), OTHERS));
    }

    /** By path, as Java has no mkdirat: the caller has seen that no other user can change the way here. */
    @Override
    public boolean makeFolder(String name) throws IOException {
        try {
            Files.createDirectory(path.resolve(relative(name)), NEW_FOLDER);
            return true;
        } catch (FileAlreadyExistsException taken) {
            return false;
        }
    }

    @Override
    public LinuxFolder openFolder(String name) throws IOException {
        Entry seen = entry(name);
        if (!seen.isOurs(Entry.Kind.FOLDER)) {
            throw new NotOurs(path.resolve(name) + " is not a folder of this user's alone");
        }
        LinuxFolder opened = new LinuxFolder(stream.newDirectoryStream(relative(name), LinkOption.NOFOLLOW_LINKS),
            path.resolve(name), user);
        try {
            return opened.sameAs(seen.key, path.resolve(name));
        } catch (IOException | RuntimeException e) {
            opened.close();
            throw e;
        }
    }

    @Override
    public FileChannel open(String name, Set<? extends OpenOption> options) throws IOException {
        Set<OpenOption> noLinks = new HashSet<>(options);
        noLinks.add(LinkOption.NOFOLLOW_LINKS);
        // The JDK's channels here are file channels, which can lock.
        SeekableByteChannel channel = options.contains(StandardOpenOption.CREATE_NEW)
            ? stream.newByteChannel(relative(name), noLinks, NEW_FILE) : stream.newByteChannel(relative(name), noLinks);
        if (!(channel instanceof FileChannel)) {
            channel.close();
            throw new IOException(path.resolve(name) + " cannot be locked");
        }
        return (FileChannel) channel;
    }

    @Override
    public FileChannel openUnchangeable(String name) throws IOException {
        // Only this user can write in a folder of this user's alone.
        return open(name, EnumSet.of(StandardOpenOption.READ));
    }

    @Override
    public Path pathTo(String name, Entry entry) throws IOException {
        Path file = path.resolve(name);
        Object reached = Files.readAttributes(file, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS).fileKey();
        if (!Objects.equals(reached, entry.key)) {
            throw new IOException(file + " is no longer the file written there");
        }
        return file;
    }

    @Override
    public void deleteFile(String name) throws IOException {
        stream.deleteFile(relative(name));
    }

    @Override
    public void deleteFolder(String name) throws IOException {
        stream.deleteDirectory(relative(name));
    }

    @Override
    public void close() {
        try {
            stream.close();
        } catch (IOException alreadyGone) {
            // Nothing was written through the folder itself.
        }
    }

    /** The name as a path of one entry of this folder, never one that leads elsewhere. */
    private static Path relative(String name) {
        Path entry = Paths.get(name);
        if (entry.isAbsolute() || entry.getNameCount() != 1 || name.isEmpty() || name.equals(".") || name.equals("..")) {
            throw new IllegalArgumentException("not a name in a folder: " + name);
        }
        return entry;
    }
}
