// A folder on Windows, reached by its path, whose entries count as this user's only by their owner and access list, and whose links and junctions are never entered, opened or removed through.
package quorvalen.zelka;

import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.file.DirectoryStream;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * A folder reached by its path, as Java on Windows holds no folder open. That is safe only where
 * nobody else can rename or replace anything on the way, which the caller has seen
 * ({@link WriteAccess#problem}); from there on an entry is this user's only when this user owns
 * it and its rules let nobody else change it, and a link or a junction
 * ({@link BasicFileAttributes#isOther}) is never anybody's. What it makes is this user's alone at
 * once: the access list set then replaces whatever the parent passed on.
 */
final class WindowsFolder implements Folder {
    private final Path path;
    private final AccessRules rules;

    WindowsFolder(Path path, AccessRules rules) {
        this.path = path;
        this.rules = rules;
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
        Path entry = path.resolve(name);
        BasicFileAttributes seen = Files.readAttributes(entry, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
        return new Entry(seen, WriteAccess.onlySelfMayChange(entry, rules));
    }

    @Override
    public Folder openFolder(String name) throws IOException {
        if (!entry(name).isOurs(Entry.Kind.FOLDER)) {
            throw new NotOurs(path.resolve(name) + " is not a folder of this user's alone");
        }
        return new WindowsFolder(path.resolve(name), rules);
    }

    @Override
    public boolean makeFolder(String name) throws IOException {
        try {
            rules.restrictToSelf(Files.createDirectory(path.resolve(name)));
            return true;
        } catch (FileAlreadyExistsException taken) {
            return false;
        }
    }

    @Override
    public String createFolder(String prefix) throws IOException {
        Path made = Files.createTempDirectory(path, prefix);
        rules.restrictToSelf(made);
        return made.getFileName().toString();
    }

    @Override
    public FileChannel open(String name, Set<? extends OpenOption> options) throws IOException {
        Set<OpenOption> noLinks = new HashSet<>(options);
        noLinks.add(LinkOption.NOFOLLOW_LINKS);
        FileChannel channel = FileChannel.open(path.resolve(name), noLinks);
        if (options.contains(StandardOpenOption.CREATE_NEW)) {
            try {
                rules.restrictToSelf(path.resolve(name));
            } catch (IOException | RuntimeException e) {
                channel.close();
                throw e;
            }
        }
        return channel;
    }

    @Override
    public FileChannel openUnchangeable(String name) throws IOException {
        return rules.openUnchangeable(path.resolve(name));
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
