// A class loader over a jar packed inside another jar, handing out URLs of a scheme of its own, as Spring Boot's does.
package quorvalen.zelka;

import java.io.ByteArrayInputStream;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.HashMap;
import java.util.Map;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

/** Child JVM entry: loads NativeTools from {@code OUTER!/INNER} alone and prints where its library came from. */
final class NestedJars extends ClassLoader {
    private final Map<String, byte[]> entries = new HashMap<>();
    private final String base;
    private final URLStreamHandler handler = new URLStreamHandler() {
        @Override
        protected URLConnection openConnection(URL url) {
            String path = url.getPath();
            byte[] bytes = entries.get(path.substring(path.lastIndexOf("!/") + 2));
            return new URLConnection(url) {
                @Override
                public void connect() {
                }

                @Override
                public InputStream getInputStream() throws IOException {
                    if (bytes == null) {
                        throw new FileNotFoundException(url.toString());
                    }
                    return new ByteArrayInputStream(bytes);
                }
            };
        }
    };

    NestedJars(String outer, String inner) throws IOException {
        super(null);  // nothing of the class path
        base = "nested:" + outer + "!/" + inner + "!/";
        try (ZipInputStream jar = new ZipInputStream(Files.newInputStream(Paths.get(outer)))) {
            for (ZipEntry entry; (entry = jar.getNextEntry()) != null; ) {
                if (entry.getName().equals(inner)) {
                    try (ZipInputStream nested = new ZipInputStream(jar)) {
                        for (ZipEntry packed; (packed = nested.getNextEntry()) != null; ) {
                            entries.put(packed.getName(), nested.readAllBytes());
                        }
                    }
                    return;
                }
            }
        }
    }

    @Override
    protected Class<?> findClass(String name) throws ClassNotFoundException {
        byte[] bytes = entries.get(name.replace('.', '/') + ".class");
        if (bytes == null) {
            throw new ClassNotFoundException(name);
        }
        return defineClass(name, bytes, 0, bytes.length);
    }

    @Override
    protected URL findResource(String name) {
        try {
            return entries.containsKey(name) ? new URL(null, base + name, handler) : null;
        } catch (IOException e) {
            throw new IllegalStateException(e);
        }
    }

    public static void main(String[] args) throws Exception {
        Class<?> tools = Class.forName("quorvalen.zelka.NativeTools", true, new NestedJars(args[0], args[1]));
        System.out.println("loaded " + tools.getMethod("librarySource").invoke(null));
    }
}
