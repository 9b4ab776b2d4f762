// Names the resources the jar carries for the loader, and reads the platform table among them.
package quorvalen.zelka;

import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;

/**
 * The jar's resources, as the build lays them out under {@code META-INF/native/}: the platform
 * table, and each platform's library in a folder named after the platform, under the file name
 * the table gives it.
 */
final class JarResources {
    private static final String FOLDER = "/META-INF/native/";
    static final String PLATFORM_TABLE = FOLDER + "platforms.txt";

    /** The jar's own platform table; empty when the jar has none, or when it cannot be read. */
    static final PlatformTable PLATFORMS = platformTable();

    private JarResources() {
    }

    private static PlatformTable platformTable() {
        InputStream in = JarResources.class.getResourceAsStream(PLATFORM_TABLE);
        if (in == null) {
            return PlatformTable.empty();
        }
        try (InputStream from = in) {
            return PlatformTable.parse(from);
        } catch (IOException e) {
            return PlatformTable.unreadable(PLATFORM_TABLE + ": " + e.getMessage());
        }
    }

    /** Where the jar keeps a platform's library, or null when the table has no such platform. */
    static String library(String platform) {
        String file = PLATFORMS.library(platform);
        return file == null ? null : FOLDER + platform + "/" + file;
    }

    /** The platforms whose library this jar actually carries. */
    static List<String> carried() {
        List<String> carried = new ArrayList<>();
        for (String platform : PLATFORMS.names()) {
            if (JarResources.class.getResource(library(platform)) != null) {
                carried.add(platform);
            }
        }
        return carried;
    }
}
