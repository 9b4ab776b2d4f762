// The jar's table of platforms: which os.name and os.arch each carried library is for.
package quorvalen.zelka;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Locale;

/**
 * Reads {@code META-INF/native/platforms.txt}, the build's own table: one platform a row, its
 * columns separated by blanks, the first three the jar's name for it, {@code linux} or
 * {@code windows}, and the {@code os.arch} values it serves, comma-separated; the fifth names the
 * library file (its last path element is the file's name in the jar). {@code #} starts a comment
 * line; a row with fewer than three columns is ignored.
 */
final class PlatformTable {
    static final String RESOURCE = "/META-INF/native/platforms.txt";

    /** The jar's own rows, each {platform, os, library file, arch values...}; none when the jar has no table. */
    static final List<String[]> BUNDLED = bundled();

    private PlatformTable() {
    }

    private static List<String[]> bundled() {
        InputStream in = PlatformTable.class.getResourceAsStream(RESOURCE);
        if (in == null) {
            return Collections.emptyList();
        }
        try (InputStream from = in) {
            return parse(from);
        } catch (IOException e) {
            return Collections.emptyList();
        }
    }

    static List<String[]> parse(InputStream in) throws IOException {
        List<String[]> rows = new ArrayList<>();
        BufferedReader reader = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8));
        for (String line; (line = reader.readLine()) != null; ) {
            String[] columns = line.trim().split("\\s+");
            if (columns.length < 3 || columns[0].startsWith("#")) {
                continue;
            }
            String[] arches = columns[2].toLowerCase(Locale.ROOT).split(",");
            String[] row = new String[3 + arches.length];
            row[0] = columns[0];
            row[1] = columns[1];
            row[2] = columns.length > 4 ? columns[4].substring(columns[4].lastIndexOf('/') + 1) : "";
            System.arraycopy(arches, 0, row, 3, arches.length);
            rows.add(row);
        }
        return rows;
    }

    /** The library file's name for a platform, or null when no row names one. */
    static String library(List<String[]> rows, String platform) {
        for (String[] row : rows) {
            if (row[0].equals(platform) && !row[2].isEmpty()) {
                return row[2];
            }
        }
        return null;
    }

    static String[] names(List<String[]> rows) {
        String[] names = new String[rows.size()];
        for (int i = 0; i < names.length; i++) {
            names[i] = rows.get(i)[0];
        }
        return names;
    }

    /** The platform of the first row for this os.name and os.arch, or null when none fits. */
    static String platform(List<String[]> rows, String osName, String osArch) {
        if (osName == null || osArch == null) {
            return null;
        }
        String os = OsFamily.of(osName);
        String arch = osArch.toLowerCase(Locale.ROOT);
        for (String[] row : rows) {
            if (row[1].equals(os)) {
                for (int i = 3; i < row.length; i++) {
                    if (row[i].equals(arch)) {
                        return row[0];
                    }
                }
            }
        }
        return null;
    }
}
