// Rewrites a jar so that the same entries always give the same bytes: one order, one time, nothing of the machine.
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.time.LocalDateTime;
import java.time.ZoneOffset;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/**
 * Usage: java ReproducibleJar.java JAR EPOCH-SECONDS. The entries are written again in the order
 * of their names, but for META-INF/ and its MANIFEST.MF first, where a JarInputStream looks for
 * them; each with the time EPOCH-SECONDS as a date and time of UTC (a zip entry's time has no
 * zone, so no time zone can change it), no extra fields, no file modes, compressed alike.
 */
public final class ReproducibleJar {
    private ReproducibleJar() {
    }

    public static void main(String[] args) throws IOException {
        Path jar = Paths.get(args[0]);
        LocalDateTime time = LocalDateTime.ofEpochSecond(Long.parseLong(args[1]), 0, ZoneOffset.UTC);
        Path rewritten = jar.resolveSibling(jar.getFileName() + ".reproducible");
        try (ZipFile in = new ZipFile(jar.toFile()); OutputStream file = Files.newOutputStream(rewritten);
             ZipOutputStream out = new ZipOutputStream(file)) {
            List<String> names = new ArrayList<>();
            for (Enumeration<? extends ZipEntry> entries = in.entries(); entries.hasMoreElements(); ) {
                names.add(entries.nextElement().getName());
            }
            names.sort((a, b) -> rank(a) != rank(b) ? Integer.compare(rank(a), rank(b)) : a.compareTo(b));
            for (String name : names) {
                ZipEntry entry = new ZipEntry(name);
                entry.setTimeLocal(time);
                out.putNextEntry(entry);
                try (InputStream bytes = in.getInputStream(in.getEntry(name))) {
                    bytes.transferTo(out);
                }
                out.closeEntry();
            }
        }
        Files.move(rewritten, jar, StandardCopyOption.REPLACE_EXISTING);
    }

    private static int rank(String name) {
        return name.equals("META-INF/") ? 0 : name.equalsIgnoreCase("META-INF/MANIFEST.MF") ? 1 : 2;
    }
}
