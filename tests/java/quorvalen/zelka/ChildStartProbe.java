// A child JVM's race of added names against started children, for ChildStartTest.
package quorvalen.zelka;

import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.concurrent.CountDownLatch;

/**
 * Run in a child JVM, so the environment starts small: one thread adds names while another starts
 * children, each until both have done their least, then prints what the children saw and whether
 * every name arrived. With {@code first-use}, the main thread instead makes the JDK's first copy of
 * the environment while the names are added, and prints whether it and a child start afterwards
 * worked.
 */
public final class ChildStartProbe {
    private ChildStartProbe() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length > 0 && args[0].equals("first-use")) {
            firstUseDuringAdditions();
            return;
        }
        Set<String> before = ChildStartTest.environmentBefore();
        List<String> refused = new ArrayList<>();
        ChildStartTest.Tally tally = new ChildStartTest.Tally();
        long[] rounds = new Race()
            .racer("the adding thread", ChildStartTest.ADDED, i -> {
                int name = (int) (i % ChildStartTest.ADDED);
                if (!NativeTools.setenv(ChildStartTest.addedName(name), ChildStartTest.addedValue(name, i / ChildStartTest.ADDED))) {
                    refused.add(ChildStartTest.addedName(name));
                }
            })
            .racer("the starting thread", ChildStartTest.CHILDREN_WHILE_ADDING,
                i -> ChildStartTest.startChild(tally, before, ChildStartTest::isAdded))
            .run();
        int lost = 0;
        for (int i = 0; i < ChildStartTest.ADDED; i++) {
            String last = ChildStartTest.addedValue(i, (rounds[0] - 1 - i) / ChildStartTest.ADDED);
            lost += last.equals(NativeTools.getenv(ChildStartTest.addedName(i))) ? 0 : 1;
        }
        for (String fault : tally.faults) {
            System.out.println("fault " + EnvProbe.escape(fault));
        }
        System.out.println("assigned " + rounds[0] + " times to " + ChildStartTest.ADDED + " names");
        System.out.println("started=" + tally.started + " start_failures=" + tally.startFailures + " wrong="
            + tally.wrongEnvironments + " untouched_missing=" + tally.untouchedMissing + " lost=" + lost
            + " refused=" + refused.size());
    }

    static void firstUseDuringAdditions() throws InterruptedException {
        CountDownLatch adding = new CountDownLatch(1);
        Thread adder = new Thread(() -> {
            for (int i = 0; i < ChildStartTest.ADDED; i++) {
                NativeTools.setenv(ChildStartTest.addedName(i), ChildStartTest.addedValue(i));
                adding.countDown();
            }
        });
        adder.start();
        adding.await();
        String outcome = "ok";
        try {
            System.getenv();
            ChildProcessTest.run(java.util.Arrays.asList("true"));
        } catch (Throwable e) {
            outcome = e.toString();
        }
        adder.join();
        System.out.println("first_use=" + outcome);
    }
}
