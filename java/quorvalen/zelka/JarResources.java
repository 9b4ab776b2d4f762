// Names the resources the jar carries for the loader, and reads the platform table among them.
package quorvalen.zelka;

import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;

/**
 * The jar's resources, as the build lays them out under {@code META-INF/native/}: the platform
 * table, and each platform's library in a folder named after the platform, under the file name
 * the table gives it. Each is taken from the jar (or folder) that holds these classes, never from
 * another entry of the class path that happens to hold a file of that name first: it is reached
 * from where this class's own file is, by the URL its class loader gave for it, so a jar nested in
 * a jar (as Spring Boot packs them) is read through that loader's own handler.
 */
final class JarResources {
    private static final String FOLDER = "/META-INF/native/";
    static final String PLATFORM_TABLE = FOLDER + "platforms.txt";
    /** From this class's folder, quorvalen/zelka/, up to the jar's root. */
    private static final String FROM_PACKAGE_TO_ROOT = "../..";

    /** The jar's own platform table; empty when the jar has none, or when it cannot be read. */
    static final PlatformTable PLATFORMS = platformTable();

    private JarResources() {
    }

    private static PlatformTable platformTable() {
        URL table = own(PLATFORM_TABLE);
        if (table == null) {
            return PlatformTable.empty();
        }
        try (InputStream from = table.openStream()) {
            return PlatformTable.parse(from);
        } catch (IOException e) {
            return PlatformTable.unreadable(PLATFORM_TABLE + ": " + e.getMessage());
        }
    }

    /** The resource {@code name} (from the jar's root) of the jar or folder holding this class; null when it has none. */
    static URL own(String name) {
        URL self = JarResources.class.getResource(JarResources.class.getSimpleName() + ".class");
        if (self == null) {
            return null;
        }
        try {
            URL resource = new URL(self, FROM_PACKAGE_TO_ROOT + name);
            resource.openStream().close();
            return resource;
        } catch (IOException absent) {
            return null;
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
            if (own(library(platform)) != null) {
                carried.add(platform);
            }
        }
        return carried;
    }
}
