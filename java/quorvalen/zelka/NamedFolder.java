// A folder on Windows, reached by its path, whose links and junctions are never entered, opened or removed through.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * A folder reached by its path, for Windows, where Java holds no folder open and files carry no
 * POSIX owner or mode. The folder is the user's own {@code %TEMP%} (or the folder named), which
 * others cannot write to; what can be checked here is that each entry is a plain folder or file,
 * never a symbolic link or a junction ({@link BasicFileAttributes#isOther}), so nothing outside is
 * reached. Owners and access lists are not compared: every plain entry counts as this user's.
 */
final class NamedFolder implements Folder {
    private final Path path;

    NamedFolder(Path path) {
        this.path = path;
    }

    @Override
    public Path path() {
        return path;
    }

    @Override
    public List<String> names() throws IOException {
        try (DirectoryStream<Path> listing = Files.newDirectoryStream(path)) {
            return Folder.namesIn(listing);
        }
    }

    @Override
    public Entry entry(String name) throws IOException {
        return new Entry(Files.readAttributes(path.resolve(name), BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS), true);
    }

    @Override
    public Folder openFolder(String name) throws IOException {
        if (!entry(name).isOurs(Entry.Kind.FOLDER)) {
            throw new IOException(path.resolve(name) + " is not a plain folder");
        }
        return new NamedFolder(path.resolve(name));
    }

    @Override
    public FileChannel open(String name, Set<? extends OpenOption> options) throws IOException {
        Set<OpenOption> noLinks = new HashSet<>(options);
        noLinks.add(LinkOption.NOFOLLOW_LINKS);
        return FileChannel.open(path.resolve(name), noLinks);
    }

    @Override
    public Path pathTo(String name, Entry entry) {
        return path.resolve(name);
    }

    @Override
    public void deleteFile(String name) throws IOException {
        Files.delete(path.resolve(name));
    }

    @Override
    public void deleteFolder(String name) throws IOException {
        Files.delete(path.resolve(name));
    }

    @Override
    public void close() {
    }
}
