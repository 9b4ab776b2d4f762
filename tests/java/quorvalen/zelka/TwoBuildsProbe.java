// A JVM that loads two builds of the library, each from its jar by a class loader of its own, and races them.
package quorvalen.zelka;

import java.nio.file.Paths;
import java.util.Arrays;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.atomic.AtomicLongArray;

/**
 * Loads the builds named on its command line ("today=JAR", "earlier=JAR", ...) in that order, adds
 * names through both at once while other threads read through both, and prints what it saw: the
 * names added, lost and torn, the first faults, and what each copy answers to following the JDK's copy.
 */
final class TwoBuildsProbe {
    static final int ADDED_EACH = 3000;

    private TwoBuildsProbe() {
    }

    static String name(String version, long i) {
        return "ZK7B_" + version.toUpperCase() + "_" + i;
    }

    static String value(String version, long i) {
        return "\u0436" + version + i + "\u4e2d" + "x".repeat((int) (i % 40));
    }

    public static void main(String[] args) throws Exception {
        String[] versions = new String[args.length];
        ClassLoaderCopiesTest.Copy[] copies = new ClassLoaderCopiesTest.Copy[args.length];
        for (int c = 0; c < args.length; c++) {
            versions[c] = args[c].substring(0, args[c].indexOf('='));
            copies[c] = new ClassLoaderCopiesTest.Copy(Paths.get(args[c].substring(args[c].indexOf('=') + 1)).toUri().toURL());
        }
        ConcurrentLinkedQueue<String> faults = new ConcurrentLinkedQueue<>();
        AtomicLongArray added = new AtomicLongArray(2);  // names each adder has made
        Race race = new Race();
        for (int c = 0; c < 2; c++) {
            String version = versions[c];
            ClassLoaderCopiesTest.Copy copy = copies[c];
            int index = c;
            race.racer("the adder through " + version, ADDED_EACH, i -> {
                if (!copy.setenv(name(version, i), value(version, i))) {
                    ConcurrencyTest.fault(faults, "refused " + name(version, i));
                }
                added.set(index, i + 1);
            });
            // Reads the other build's latest names through this one: each unset or whole.
            String other = versions[1 - c];
            race.racer("the reader through " + version, ADDED_EACH, i -> {
                long latest = Math.max(0, added.get(1 - index) - 1 - i % 8);
                String seen = copy.getenv(name(other, latest));
                if (seen != null && !seen.equals(value(other, latest))) {
                    ConcurrencyTest.fault(faults, "torn: " + name(other, latest) + " read through " + version + " as " + seen);
                }
            });
        }
        long[] rounds = race.run();
        int lost = 0;
        for (int c = 0; c < 2; c++) {
            for (long i = 0; i < rounds[2 * c]; i++) {
                for (ClassLoaderCopiesTest.Copy reader : copies) {
                    lost += value(versions[c], i).equals(reader.getenv(name(versions[c], i))) ? 0 : 1;
                }
            }
        }
        System.out.println("added " + rounds[0] + " and " + rounds[2] + " in " + race.millis() + " ms");
        System.out.println("lost " + lost);
        System.out.println("faults " + faults.size() + " " + faults);
        for (int c = 0; c < 2; c++) {
            System.out.println("follow " + versions[c] + ": " + follows(copies[c]));
        }
        System.out.println("listings agree: " + copies[0].environment().equals(copies[1].environment()));
        System.out.println("order " + Arrays.toString(versions));
    }

    static String follows(ClassLoaderCopiesTest.Copy copy) {
        if (copy.followInJdk == null) {
            return "no such method";
        }
        try {
            ClassLoaderCopiesTest.Copy.call(copy.followInJdk, true);
            ClassLoaderCopiesTest.Copy.call(copy.followInJdk, false);
            return "yes";
        } catch (IllegalStateException e) {
            return "refused: " + e.getCause();
        }
    }
}
