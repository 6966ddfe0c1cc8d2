import java.applet.Applet;
import java.awt.Color;
import java.awt.Graphics;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;

// An applet that takes all it can of one thing (the parameter "take"):
// heap, threads, its /tmp, connections to its own server, or the CPU in
// paint. It tells its server how far it got (GET /report?TAKE=AMOUNT), then
// paints blue; "spin" never returns from paint.
public class GreedyApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private final List<Object> held = new ArrayList<>(); // kept, so nothing is given back
    private volatile boolean done;

    private void report(String query) {
        try (InputStream in = new URL(getCodeBase(), "report?" + query).openStream()) {
            while (in.read() >= 0) {
                // the answer is not needed
            }
        } catch (Exception e) {
            // the server is gone, or no connection is left: nothing to tell
        }
    }

    private long heapMiB() {
        long taken = 0;
        try {
            while (taken < 4096) {
                held.add(new byte[1 << 20]);
                ++taken;
            }
        } catch (OutOfMemoryError e) {
            held.clear(); // room again to report
        }
        return taken;
    }

    private long threads() {
        long started = 0;
        try {
            while (started < 100_000) {
                Thread t = new Thread(() -> {
                    try {
                        Thread.sleep(Long.MAX_VALUE);
                    } catch (InterruptedException e) {
                        // ends with the host
                    }
                });
                t.setDaemon(true);
                t.start();
                ++started;
            }
        } catch (Throwable e) {
            // no more
        }
        return started;
    }

    private String tmpMiB() {
        long written = 0;
        byte[] block = new byte[1 << 20];
        for (int file = 0; file < 64 && written < 8192; ++file) {
            try (FileOutputStream out = new FileOutputStream("/tmp/greedy-" + file)) {
                while (written < 8192) {
                    out.write(block);
                    ++written;
                }
            } catch (SecurityException e) {
                return "refused";
            } catch (Throwable e) {
                // this file is full, or the folder: try another
            }
        }
        return Long.toString(written);
    }

    private long sockets() {
        long open = 0;
        try {
            while (open < 300) {
                // A connection the box no longer takes in ends the taking:
                // without a time limit a connect whose handshake the full
                // queue dropped waits out the kernel's retries (minutes).
                Socket s = new Socket();
                s.connect(new InetSocketAddress(getCodeBase().getHost(), getCodeBase().getPort()), 3000);
                s.getOutputStream().write("GET /report?held HTTP/1.0\r\n\r\n".getBytes("US-ASCII"));
                held.add(s);
                ++open;
            }
        } catch (Throwable e) {
            // no more
        }
        long closed = open;
        for (Object s : held) {
            try {
                ((Socket) s).close();
            } catch (Exception e) {
                // gone already
            }
        }
        held.clear();
        return closed;
    }

    @Override
    public void start() {
        String take = getParameter("take");
        if ("spin".equals(take)) {
            report("spin=painting");
            repaint();
            return;
        }
        if ("repaint".equals(take)) {
            Thread flood = new Thread(() -> {
                long asked = 0;
                for (long end = System.currentTimeMillis() + 3000; System.currentTimeMillis() < end; ++asked)
                    repaint();
                report("repaint=" + asked / 3 + "/s");
            });
            flood.start();
            return;
        }
        String amount = "heap".equals(take) ? Long.toString(heapMiB())
                      : "threads".equals(take) ? Long.toString(threads())
                      : "tmp".equals(take) ? tmpMiB()
                      : "sockets".equals(take) ? Long.toString(sockets()) : "unknown";
        report(take + "=" + amount);
        done = true;
        repaint();
    }

    @Override
    public void paint(Graphics g) {
        if ("spin".equals(getParameter("take"))) {
            for (long i = 0;; ++i) {
                if (i == Long.MIN_VALUE)
                    break; // never: the loop only spins
            }
        }
        g.setColor(done ? Color.blue : Color.gray);
        g.fillRect(0, 0, getWidth(), getHeight());
    }
}
