// The applet host: runs one applet of a page, as the old Java plug-in did,
// on an X display that nobody sees, and hands its pictures to Ostrel.
//
// Ostrel starts it with the applet's element (code, code base, archives,
// size, parameters) on the command line and talks to it over the standard
// streams, one line a message:
//   from Ostrel:  ack                       the last frame has been taken
//                 mouse KIND X Y BUTTON MODIFIERS CLICKS
//                 key KIND KEYCODE CHAR MODIFIERS
//                 quit
//   to Ostrel:    frame N T                 frame N is in the frame file (captured at
//                                           T, the monotonic clock in nanoseconds)
//                 status TEXT               what the box should say instead of a picture
//                 progress TEXT             the same, while the applet is on its way
//                 tip TEXT                  the applet's showStatus
//                 started
// The end of the standard input (Ostrel gone) ends the host. An applet that
// ends the Java itself (System.exit, where nothing forbids it) is reported as
// ended.
//
// Pictures go through shared memory of WIDTH x HEIGHT x 4 bytes (0xAARRGGBB
// words in the machine's order), named by --frames; a new one is written
// only once Ostrel has taken the last one.
//
// On Java 17 to 23 the applet's code runs under a security manager that
// grants it what an unsigned applet had: a connection to its code base's host
// and port, the harmless system properties, threads and painting. From Java
// 24 on there is no security manager, and the host refuses to run outside the
// OS sandbox (--sandbox os), which then holds the applet alone. The host's
// own classes are trusted, and kept in a module that opens nothing, so that
// the applet's reflection cannot reach their fields. Classes, resources and archives are fetched by the host itself,
// bounded in size and time, and a redirect is followed only within the code
// base's own server (scheme, host and port): trusted code fetching from
// wherever a camera points would let the applet reach other servers.

package ostrel.applethost;

import java.applet.Applet;
import java.applet.AppletContext;
import java.applet.AppletStub;
import java.applet.AudioClip;
import java.awt.AWTEvent;
import java.awt.Component;
import java.awt.EventQueue;
import java.awt.Frame;
import java.awt.Graphics;
import java.awt.Image;
import java.awt.Toolkit;
import java.awt.event.KeyEvent;
import java.awt.event.MouseEvent;
import java.awt.image.BufferedImage;
import java.awt.image.DataBufferInt;
import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.io.RandomAccessFile;
import java.lang.reflect.InvocationTargetException;
import java.net.HttpURLConnection;
import java.net.MalformedURLException;
import java.net.SocketPermission;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.nio.ByteOrder;
import java.nio.IntBuffer;
import java.nio.MappedByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.security.AccessController;
import java.security.AllPermission;
import java.security.CodeSource;
import java.security.PrivilegedActionException;
import java.security.PrivilegedExceptionAction;
import java.security.SecureClassLoader;
import java.security.PermissionCollection;
import java.security.Permissions;
import java.security.Policy;
import java.security.ProtectionDomain;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Enumeration;
import java.util.HashMap;
import java.util.Iterator;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.PropertyPermission;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

public final class AppletHost {
    private static final int CAPTURE_INTERVAL_MS = 40;
    private static final int MOST_MESSAGE_CHARS = 2000;
    private static final int RETRY_MS = 5000;
    private static final String[] HARMLESS_PROPERTIES = {
        "java.version", "java.vendor", "java.vendor.url", "java.class.version", "java.specification.version",
        "java.specification.vendor", "java.specification.name", "java.vm.version", "java.vm.vendor",
        "java.vm.name", "java.vm.specification.version", "os.name", "os.arch", "os.version",
        "file.separator", "path.separator", "line.separator", "browser", "browser.version",
        "browser.vendor", "http.agent", "javaplugin.version",
    };

    private static PrintStream out;
    private static String code;
    private static URL codeBase;
    private static URL documentBase;
    private static final List<String> archives = new ArrayList<>();
    private static int width;
    private static int height;
    private static String name = "";
    private static final Map<String, String> parameters = new HashMap<>();
    private static String framePath;
    private static String relayPath;       // the sandbox's one way out, to the code base
    private static boolean inSandbox;      // started inside the OS sandbox
    private static volatile boolean quitting;
    private static final Object quitSignal = new Object(); // quit() to the ender
    private static volatile String relayError; // why the relay last could not connect

    private static volatile Applet applet; // once made; null again after a failed start
    private static Frame frame;
    private static IntBuffer frames;
    private static BufferedImage picture;
    private static volatile boolean taken = true;  // Ostrel has the last frame
    private static volatile boolean dirty = true;  // the applet has painted since
    private static final Object captureSignal = new Object(); // a paint, or Ostrel taking a frame
    private static long frameNumber;

    public static void main(String[] args) throws Exception {
        // Only this stream talks to Ostrel; the applet's prints go to the error stream.
        out = new PrintStream(new java.io.FileOutputStream(java.io.FileDescriptor.out), true, "UTF-8");
        System.setOut(System.err);
        if (!readArguments(args)) {
            say("status", "The applet's page could not be read (" + String.join(" ", args) + ")");
            return;
        }
        openFrameFile();
        // No connection of this process follows a redirect unless it asks
        // to; the host's own fetches ask, and check where each one leads.
        HttpURLConnection.setFollowRedirects(false);
        if (relayPath != null)
            startRelay();
        AppletClassLoader loader = new AppletClassLoader(codeBase, AppletHost.class.getClassLoader());
        if (!installSecurity() && !inSandbox) {
            say("status", "The applet cannot run safely here: Java " + Runtime.version().feature()
                + " has no security manager, and the host was started outside the OS sandbox");
            holdUntilQuit();
            return;
        }
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            if (!quitting)
                say("status", "The applet has ended itself (it stopped its Java); Reconnect starts it again");
        }, "AppletHost-ended"));
        startEnder();
        Thread commands = new Thread(AppletHost::readCommands, "AppletHost-commands");
        commands.setDaemon(true);
        commands.start();
        Class<?> type = load(loader);
        if (type == null) {
            commands.join(); // until Ostrel ends the host
            return;
        }
        EventQueue.invokeAndWait(() -> start(type));
        watchPainting();
    }

    // The applet's archives and class, fetched again every few seconds while
    // its server cannot be reached (a camera switched on later is shown
    // without a click); null, said in the box, when they cannot be had.
    private static Class<?> load(AppletClassLoader loader) throws InterruptedException {
        int archivesAdded = 0;
        for (;;) {
            Fetch.Failure failure;
            try {
                for (; archivesAdded < archives.size(); ++archivesAdded)
                    loader.addArchive(new URL(codeBase, archives.get(archivesAdded)));
                return loadClass(loader);
            } catch (MalformedURLException e) {
                say("status", "The applet's archive " + e.getMessage() + " has a bad address");
                return null;
            } catch (Fetch.Failure e) {
                failure = e;
            } catch (ClassNotFoundException e) {
                if (!(e.getCause() instanceof Fetch.Failure)) {
                    say("status", "The applet " + className(code) + " was not found at " + codeBase);
                    return null;
                }
                failure = (Fetch.Failure) e.getCause();
            } catch (LinkageError e) {
                say("status", "The applet " + className(code) + " could not be loaded (" + e + ")");
                return null;
            }
            if (!failure.unreachable) {
                say("status", failure.getMessage());
                return null;
            }
            say("progress", failure.getMessage() + ". Trying again every " + RETRY_MS / 1000 + " s\u2026");
            Thread.sleep(RETRY_MS);
        }
    }

    private static Class<?> loadClass(AppletClassLoader loader) throws ClassNotFoundException {
        return loader.loadClass(className(code));
    }

    // The command line: --code C --codebase URL --document URL --archive A
    // --width W --height H --name N --frames PATH --relay PATH --sandbox os|none,
    // then --param NAME VALUE...
    private static boolean readArguments(String[] args) throws MalformedURLException {
        for (int i = 0; i + 1 < args.length; i += 2) {
            String value = args[i + 1];
            switch (args[i]) {
            case "--code": code = value; break;
            case "--codebase": codeBase = new URL(value); break;
            case "--document": documentBase = new URL(value); break;
            case "--archive":
                for (String a : value.split(","))
                    if (!a.trim().isEmpty())
                        archives.add(a.trim());
                break;
            case "--width": width = Integer.parseInt(value); break;
            case "--height": height = Integer.parseInt(value); break;
            case "--name": name = value; break;
            case "--frames": framePath = value; break;
            case "--relay": relayPath = value; break;
            case "--sandbox": inSandbox = value.equals("os"); break;
            case "--param":
                if (i + 2 >= args.length)
                    return false;
                parameters.put(value.toLowerCase(Locale.ROOT), args[i + 2]);
                ++i;
                break;
            default: return false;
            }
        }
        if (documentBase == null)
            documentBase = codeBase;
        return code != null && codeBase != null && width > 0 && height > 0 && framePath != null;
    }

    // The class name from CODE: "BrimcastApplet.class", "cam/Viewer.class" and
    // "cam.Viewer" all name a class.
    private static String className(String text) {
        String name = text.trim();
        if (name.endsWith(".class"))
            name = name.substring(0, name.length() - 6);
        return name.replace('/', '.');
    }

    private static void openFrameFile() throws IOException {
        try (RandomAccessFile file = new RandomAccessFile(new File(framePath), "rw")) {
            MappedByteBuffer map = file.getChannel().map(FileChannel.MapMode.READ_WRITE, 0, 4L * width * height);
            map.order(ByteOrder.nativeOrder());
            frames = map.asIntBuffer();
        }
        picture = new BufferedImage(width, height, BufferedImage.TYPE_INT_ARGB);
    }

    private static void start(Class<?> type) {
        String className = type.getName();
        try {
            applet = (Applet) type.getDeclaredConstructor().newInstance();
        } catch (ClassCastException e) {
            say("status", className + " is not an applet");
            return;
        } catch (InvocationTargetException e) {
            say("status", failure("creating", e.getCause()));
            return;
        } catch (ReflectiveOperationException | RuntimeException | LinkageError e) {
            say("status", failure("creating", e));
            return;
        }
        Stub stub = new Stub();
        applet.setStub(stub);
        frame = new Frame(name.isEmpty() ? className : name);
        frame.setUndecorated(true);
        frame.setLayout(null);
        frame.add(applet);
        applet.setBounds(0, 0, width, height);
        frame.setBounds(0, 0, width, height);
        frame.setVisible(true);
        Toolkit.getDefaultToolkit().addAWTEventListener(event -> {
            dirty = true;
            signalCapture();
        }, AWTEvent.PAINT_EVENT_MASK);
        try {
            applet.init();
            applet.validate();
            stub.active = true;
            applet.start();
        } catch (Throwable e) {
            // No picture of it follows: one would take the text's place.
            applet = null;
            frame.dispose();
            say("status", failure("starting", e));
            return;
        }
        say("started", "");
    }

    private static int port(URL url) {
        return url.getPort() >= 0 ? url.getPort() : url.getDefaultPort();
    }

    private static String failure(String when, Throwable e) {
        String message = e.getMessage();
        return "The applet failed while " + when + ": " + e.getClass().getName()
            + (message != null ? ": " + message : "");
    }

    private static void signalCapture() {
        synchronized (captureSignal) {
            captureSignal.notifyAll();
        }
    }

    // Copies the applet's picture to Ostrel after it paints, and on a timer
    // (a paint may finish after its event, as images arrive, and many
    // applets draw from threads of their own); never before Ostrel has
    // taken the last one, so an Ostrel that does not show the picture
    // (frozen, hidden) costs no captures. It sleeps until one is due.
    private static void watchPainting() throws Exception {
        long lastCapture = 0;
        for (;;) {
            synchronized (captureSignal) {
                for (;;) {
                    if (applet == null || !taken) {
                        captureSignal.wait();
                        continue;
                    }
                    long due = dirty ? 0 : lastCapture + CAPTURE_INTERVAL_MS - System.currentTimeMillis();
                    if (due <= 0)
                        break;
                    captureSignal.wait(due);
                }
            }
            dirty = false;
            lastCapture = System.currentTimeMillis();
            EventQueue.invokeAndWait(AppletHost::capture);
        }
    }

    private static void capture() {
        Applet applet = AppletHost.applet;
        if (applet == null)
            return;
        long captured = System.nanoTime();
        Graphics g = picture.getGraphics();
        try {
            g.setColor(java.awt.Color.black);
            g.fillRect(0, 0, width, height);
            applet.printAll(g);
        } catch (RuntimeException e) {
            return; // a paint that failed: the next one may not
        } finally {
            g.dispose();
        }
        int[] pixels = ((DataBufferInt) picture.getRaster().getDataBuffer()).getData();
        frames.position(0);
        frames.put(pixels, 0, width * height);
        taken = false;
        say("frame", ++frameNumber + " " + captured);
    }

    private static void readCommands() {
        try (BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8))) {
            for (String line = in.readLine(); line != null; line = in.readLine()) {
                String[] word = line.split(" ");
                switch (word[0]) {
                case "ack":
                    taken = true;
                    signalCapture();
                    break;
                case "mouse": EventQueue.invokeLater(() -> mouse(word)); break;
                case "key": EventQueue.invokeLater(() -> key(word)); break;
                case "quit": quit(); return;
                default: break;
                }
            }
        } catch (IOException e) {
            // Ostrel is gone
        }
        quit();
    }

    private static void mouse(String[] word) {
        if (applet == null || word.length < 7)
            return;
        int id;
        switch (word[1]) {
        case "press": id = MouseEvent.MOUSE_PRESSED; break;
        case "release": id = MouseEvent.MOUSE_RELEASED; break;
        case "click": id = MouseEvent.MOUSE_CLICKED; break;
        case "move": id = MouseEvent.MOUSE_MOVED; break;
        case "drag": id = MouseEvent.MOUSE_DRAGGED; break;
        case "enter": id = MouseEvent.MOUSE_ENTERED; break;
        case "exit": id = MouseEvent.MOUSE_EXITED; break;
        default: return;
        }
        int x = Integer.parseInt(word[2]);
        int y = Integer.parseInt(word[3]);
        int button = Integer.parseInt(word[4]);
        int modifiers = Integer.parseInt(word[5]);
        int clicks = Integer.parseInt(word[6]);
        Component target = applet.getComponentAt(x, y);
        if (target == null)
            target = applet;
        java.awt.Point at = javax.swing.SwingUtilities.convertPoint(applet, x, y, target);
        target.dispatchEvent(new MouseEvent(target, id, System.currentTimeMillis(), modifiers, at.x, at.y, clicks,
            false, button));
    }

    private static void key(String[] word) {
        if (applet == null || word.length < 5)
            return;
        int id;
        switch (word[1]) {
        case "press": id = KeyEvent.KEY_PRESSED; break;
        case "release": id = KeyEvent.KEY_RELEASED; break;
        case "type": id = KeyEvent.KEY_TYPED; break;
        default: return;
        }
        int keyCode = id == KeyEvent.KEY_TYPED ? KeyEvent.VK_UNDEFINED : Integer.parseInt(word[2]);
        char c = (char) Integer.parseInt(word[3]);
        int modifiers = Integer.parseInt(word[4]);
        Component target = java.awt.KeyboardFocusManager.getCurrentKeyboardFocusManager().getFocusOwner();
        if (target == null)
            target = applet;
        target.dispatchEvent(new KeyEvent(target, id, System.currentTimeMillis(), modifiers, keyCode,
            id == KeyEvent.KEY_TYPED || c != 0 ? c : KeyEvent.CHAR_UNDEFINED));
    }

    // Ends the host a second after Ostrel asks, whatever the applet's stop
    // and destroy do. Started before the applet runs: an applet that takes
    // every thread it can would leave none to start when the time comes.
    private static void startEnder() {
        Thread ender = new Thread(() -> {
            try {
                synchronized (quitSignal) {
                    while (!quitting)
                        quitSignal.wait();
                }
                Thread.sleep(1000);
            } catch (InterruptedException e) {
                // ending anyway
            }
            Runtime.getRuntime().halt(0);
        }, "AppletHost-end");
        ender.setDaemon(true);
        ender.start();
    }

    private static void quit() {
        // The applet's stop and destroy get a moment; then the host ends.
        synchronized (quitSignal) {
            quitting = true;
            quitSignal.notifyAll();
        }
        try {
            EventQueue.invokeAndWait(() -> {
                if (applet != null) {
                    try {
                        applet.stop();
                        applet.destroy();
                    } catch (Throwable e) {
                        // ending anyway
                    }
                }
            });
        } catch (Throwable e) {
            // ending anyway (even with no thread left for the event queue)
        }
        Runtime.getRuntime().halt(0);
    }

    private static void holdUntilQuit() throws IOException {
        InputStream in = System.in;
        while (in.read() >= 0) {
            // wait for Ostrel to end the host
        }
    }

    static synchronized void say(String what, String text) {
        String line = text.replace('\n', ' ').replace('\r', ' ');
        if (line.length() > MOST_MESSAGE_CHARS)
            line = line.substring(0, MOST_MESSAGE_CHARS) + "\u2026";
        out.println(line.isEmpty() ? what : what + " " + line);
    }

    // -- The sandbox ---------------------------------------------------------

    // In an OS sandbox the host has no network of its own: connections to the
    // code base's host and port are taken here, on the sandbox's loopback,
    // and carried through a socket that Ostrel relays to that one address.
    // A host name is made to mean the loopback for this process alone.
    private static void startRelay() throws IOException {
        String host = codeBase.getHost();
        java.net.InetAddress loopback;
        if (host.matches("\\d{1,3}(\\.\\d{1,3}){3}") || host.startsWith("[")) {
            loopback = java.net.InetAddress.getByName(host); // this machine's, or given to the sandbox's loopback
        } else {
            java.nio.file.Path hosts = java.nio.file.Files.createTempFile("ostrel-hosts", "");
            java.nio.file.Files.write(hosts, ("127.0.0.1 " + host + "\n127.0.0.1 localhost\n")
                .getBytes(StandardCharsets.US_ASCII));
            System.setProperty("jdk.net.hosts.file", hosts.toString());
            loopback = java.net.InetAddress.getByName("127.0.0.1");
        }
        final java.net.ServerSocket listener = new java.net.ServerSocket(port(codeBase), 50, loopback);
        Thread accepter = new Thread(() -> {
            for (;;) {
                try {
                    java.net.Socket inside = listener.accept();
                    java.nio.channels.SocketChannel outside = java.nio.channels.SocketChannel.open(
                        java.net.UnixDomainSocketAddress.of(relayPath));
                    String answer = readStatus(outside);
                    if (!answer.equals("ok")) {
                        relayError = answer.startsWith("error ") ? answer.substring(6) : answer;
                        inside.setSoLinger(true, 0); // the applet sees its connection fail
                        inside.close();
                        outside.close();
                        continue;
                    }
                    relayError = null;
                    carry(inside, outside);
                } catch (IOException e) {
                    // one connection failed; the next may not
                }
            }
        }, "AppletHost-relay");
        accepter.setDaemon(true);
        accepter.start();
    }

    // The relay's first line: "ok", or "error REASON".
    private static String readStatus(java.nio.channels.SocketChannel channel) throws IOException {
        StringBuilder line = new StringBuilder();
        java.nio.ByteBuffer one = java.nio.ByteBuffer.allocate(1);
        while (line.length() < 1024) {
            one.clear();
            if (channel.read(one) < 0)
                break;
            char c = (char) one.get(0);
            if (c == '\n')
                break;
            line.append(c);
        }
        return line.toString();
    }

    // Both directions of one relayed connection, each on a thread of its own.
    // The channel is read and written directly: its stream adapters would
    // share one lock, and a waiting read would hold up every write. The end
    // of one direction is passed on as a half close, so that what the other
    // still carries arrives whole; the sockets close once both have ended.
    private static void carry(java.net.Socket inside, java.nio.channels.SocketChannel outside) {
        final int[] ended = {0};
        Runnable close = () -> {
            try {
                inside.close();
                outside.close();
            } catch (IOException e) {
                // closed anyway
            }
        };
        Runnable oneEnded = () -> {
            synchronized (ended) {
                if (++ended[0] < 2)
                    return;
            }
            close.run();
        };
        Thread up = new Thread(() -> {
            byte[] buffer = new byte[65536];
            try {
                InputStream in = inside.getInputStream();
                for (int n = in.read(buffer); n >= 0; n = in.read(buffer)) {
                    java.nio.ByteBuffer bytes = java.nio.ByteBuffer.wrap(buffer, 0, n);
                    while (bytes.hasRemaining())
                        outside.write(bytes);
                }
                outside.shutdownOutput();
                oneEnded.run();
            } catch (IOException e) {
                close.run(); // one side is gone: so is the connection
            }
        }, "AppletHost-relay-up");
        Thread down = new Thread(() -> {
            java.nio.ByteBuffer bytes = java.nio.ByteBuffer.allocate(65536);
            try {
                java.io.OutputStream out = inside.getOutputStream();
                while (outside.read(bytes) >= 0) {
                    out.write(bytes.array(), 0, bytes.position());
                    out.flush();
                    bytes.clear();
                }
                inside.shutdownOutput();
                oneEnded.run();
            } catch (IOException e) {
                close.run();
            }
        }, "AppletHost-relay-down");
        up.setDaemon(true);
        down.setDaemon(true);
        up.start();
        down.start();
    }

    // -- Fetching from the code base -----------------------------------------

    // What the host fetches for the applet (classes, resources, archives):
    // only from the code base's own server, in bounded time and size. Its
    // failures carry the text the box shows.
    static final class Fetch {
        static final int CONNECT_TIMEOUT_MS = 10000;
        static final int READ_TIMEOUT_MS = 10000;
        static final long DEADLINE_MS = 15000;
        static final int MOST_REDIRECTS = 5;
        static final int MOST_FILE_BYTES = 16 << 20;
        static final int MOST_ARCHIVE_BYTES = 16 << 20;
        private static final java.util.Timer deadlines = new java.util.Timer("AppletHost-deadlines", true);
        private static volatile boolean answered; // the camera has answered a request

        static final class Failure extends IOException {
            private static final long serialVersionUID = 1L;
            final boolean missing; // the server has no such file
            boolean unreachable;   // no connection to the server could be made

            Failure(String text, boolean missing) {
                super(text);
                this.missing = missing;
            }

            static Failure unreachable(String text) {
                Failure failure = new Failure(text, false);
                failure.unreachable = true;
                return failure;
            }
        }

        // The file at `url`; a server that has none fails with `missing`.
        static byte[] fetch(URL url, int most) throws Failure {
            try {
                return AccessController.doPrivileged((PrivilegedExceptionAction<byte[]>) () -> follow(url, most));
            } catch (PrivilegedActionException e) {
                Exception cause = e.getException();
                if (cause instanceof Failure)
                    throw (Failure) cause;
                throw new Failure("The applet's file " + url + " could not be fetched (" + cause + ")", false);
            }
        }

        // The file at `url`, or null where the server has none (404, 410).
        static byte[] get(URL url, int most) throws Failure {
            try {
                return fetch(url, most);
            } catch (Failure e) {
                if (e.missing)
                    return null;
                throw e;
            }
        }

        static boolean sameServer(URL a, URL b) {
            return a.getProtocol().equalsIgnoreCase(b.getProtocol()) && a.getHost().equalsIgnoreCase(b.getHost())
                && port(a) == port(b);
        }

        private static String server(URL url) {
            return url.getHost() + ":" + port(url);
        }

        private static byte[] follow(URL url, int most) throws Failure {
            URL at = url;
            for (int hop = 0;; ++hop) {
                if (!sameServer(at, codeBase))
                    throw new Failure("The camera sends the applet's file " + url.getFile() + " to another server ("
                        + at.getProtocol() + "://" + server(at) + "), which the applet may not use", false);
                if (hop > MOST_REDIRECTS)
                    throw new Failure("The camera redirects the applet's file " + url + " too often", false);
                HttpURLConnection http;
                try {
                    http = (HttpURLConnection) at.openConnection();
                } catch (IOException | ClassCastException e) {
                    throw new Failure("The applet's file " + at + " could not be fetched (" + e + ")", false);
                }
                Answer answer = fetchOne(url, at, http, most);
                if (answer.body != null)
                    return answer.body;
                at = answer.redirect;
            }
        }

        // What one request brought: the file, or where it is redirected.
        private static final class Answer {
            byte[] body;
            URL redirect;
        }

        private static Answer fetchOne(URL asked, URL at, HttpURLConnection http, int most) throws Failure {
            Answer answer = new Answer();
            http.setInstanceFollowRedirects(false);
            http.setUseCaches(false);
            http.setConnectTimeout(CONNECT_TIMEOUT_MS);
            http.setReadTimeout(READ_TIMEOUT_MS);
            final boolean[] late = {false};
            java.util.TimerTask deadline = new java.util.TimerTask() {
                public void run() {
                    late[0] = true;
                    http.disconnect();
                }
            };
            deadlines.schedule(deadline, DEADLINE_MS);
            long started = System.currentTimeMillis();
            try {
                int code = http.getResponseCode();
                if (!answered) {
                    answered = true;
                    say("progress", "Loading the camera's applet\u2026");
                }
                if (code == -1)
                    throw new Failure("The camera's answer for " + at + " is not HTTP", false);
                if (code == 301 || code == 302 || code == 303 || code == 307 || code == 308) {
                    String location = http.getHeaderField("Location");
                    if (location == null)
                        throw new Failure("The camera redirects " + at + " without saying where", false);
                    try {
                        answer.redirect = new URL(at, location);
                        return answer;
                    } catch (MalformedURLException e) {
                        throw new Failure("The camera redirects " + at + " to a bad address", false);
                    }
                }
                if (code == 404 || code == 410)
                    throw new Failure("The applet " + asked + " was not found (HTTP " + code + " "
                        + http.getResponseMessage() + ")", true);
                if (code != 200)
                    throw new Failure("The camera answered HTTP " + code + " " + http.getResponseMessage()
                        + " for " + asked, false);
                long length = http.getContentLengthLong();
                if (length > most)
                    throw tooLarge(asked, most);
                java.io.ByteArrayOutputStream bytes = new java.io.ByteArrayOutputStream(
                    (int) Math.max(0, Math.min(length, 1 << 20)));
                byte[] buffer = new byte[16384];
                try (InputStream in = http.getInputStream()) {
                    for (int n = in.read(buffer); n >= 0; n = in.read(buffer)) {
                        if (bytes.size() + n > most)
                            throw tooLarge(asked, most);
                        if (System.currentTimeMillis() - started > DEADLINE_MS)
                            throw stalled(asked);
                        bytes.write(buffer, 0, n);
                    }
                } catch (IOException e) {
                    // Some Javas say a body closed early as an error.
                    if (e instanceof Failure || e instanceof java.net.SocketTimeoutException || late[0]
                        || length < 0)
                        throw e;
                }
                if (length >= 0 && bytes.size() < length)
                    throw new Failure("The camera stopped sending " + asked + " after " + bytes.size() + " of "
                        + length + " bytes", false);
                answer.body = bytes.toByteArray();
                return answer;
            } catch (Failure e) {
                throw e;
            } catch (java.net.SocketTimeoutException e) {
                throw late[0] ? stalled(asked) : silent(asked);
            } catch (java.net.ConnectException e) {
                throw Failure.unreachable("Cannot reach " + server(at) + ": connection refused");
            } catch (java.net.UnknownHostException e) {
                throw Failure.unreachable("Cannot reach " + at.getHost() + ": unknown host");
            } catch (IOException e) {
                if (late[0])
                    throw stalled(asked);
                // Where the relay could not reach the camera it said why, and
                // a camera switched on later is tried again. Otherwise the
                // camera was reached and broke its answer off, or gave one
                // that is not HTTP: trying again would not mend it.
                if (relayError != null || e instanceof java.net.NoRouteToHostException)
                    throw Failure.unreachable("Cannot reach " + server(at) + ": "
                        + (relayError != null ? relayError : e.getMessage()));
                throw new Failure("The camera at " + server(at) + " gave no proper answer for " + asked.getFile()
                    + " (" + e.getMessage() + ")", false);
            } catch (OutOfMemoryError e) {
                throw tooLarge(asked, most);
            } finally {
                deadline.cancel();
                http.disconnect();
            }
        }

        private static Failure tooLarge(URL url, int most) {
            return new Failure("The applet's file " + url + " is larger than " + (most >> 20) + " MB", false);
        }

        private static Failure stalled(URL url) {
            return new Failure("The camera at " + server(url) + " does not answer (fetching " + url.getFile()
                + " took longer than " + DEADLINE_MS / 1000 + " s)", false);
        }

        private static Failure silent(URL url) {
            return new Failure("The camera at " + server(url) + " does not answer (nothing of " + url.getFile()
                + " came for " + READ_TIMEOUT_MS / 1000 + " s)", false);
        }
    }

    // Loads the applet's classes from its archives and code base, and its
    // resources too. It grants nothing by itself: the policy alone decides
    // what the classes may do. Archives are fetched whole once, and their
    // entries kept in memory (bounded in number and unpacked size).
    static final class AppletClassLoader extends SecureClassLoader {
        private static final int MOST_ENTRIES = 20000;
        // The archive and its unpacked entries are held at once within the
        // host's heap (-Xmx96m), together with the applet's own.
        private static final long MOST_UNPACKED_BYTES = 24L << 20;

        private final URL base;
        private final CodeSource source;
        private final List<Map<String, byte[]>> archives = new ArrayList<>();
        private final URLStreamHandler entries = new URLStreamHandler() {
            @Override
            protected URLConnection openConnection(URL url) throws IOException {
                final byte[] bytes = archiveEntry(url.getPath().substring(1));
                if (bytes == null)
                    throw new java.io.FileNotFoundException(url.toString());
                return new URLConnection(url) {
                    public void connect() {}
                    public InputStream getInputStream() { return new java.io.ByteArrayInputStream(bytes); }
                    public long getContentLengthLong() { return bytes.length; }
                };
            }
        };

        AppletClassLoader(URL base, ClassLoader parent) {
            super(parent);
            this.base = base;
            this.source = new CodeSource(base, (java.security.cert.Certificate[]) null);
        }

        void addArchive(URL url) throws Fetch.Failure {
            byte[] jar = Fetch.fetch(url, Fetch.MOST_ARCHIVE_BYTES);
            Map<String, byte[]> found = new HashMap<>();
            long unpacked = 0;
            byte[] buffer = new byte[16384];
            try (ZipInputStream zip = new ZipInputStream(new java.io.ByteArrayInputStream(jar))) {
                for (ZipEntry entry = zip.getNextEntry(); entry != null; entry = zip.getNextEntry()) {
                    if (found.size() >= MOST_ENTRIES)
                        throw new Fetch.Failure("The applet's archive " + url + " holds too many files", false);
                    java.io.ByteArrayOutputStream bytes = new java.io.ByteArrayOutputStream();
                    for (int n = zip.read(buffer); n >= 0; n = zip.read(buffer)) {
                        unpacked += n;
                        if (unpacked > MOST_UNPACKED_BYTES)
                            throw new Fetch.Failure("The applet's archive " + url + " unpacks to more than "
                                + (MOST_UNPACKED_BYTES >> 20) + " MB", false);
                        bytes.write(buffer, 0, n);
                    }
                    if (!entry.isDirectory())
                        found.put(entry.getName(), bytes.toByteArray());
                }
            } catch (IOException e) {
                if (e instanceof Fetch.Failure)
                    throw (Fetch.Failure) e;
                throw new Fetch.Failure("The applet's archive " + url + " cannot be read (" + e.getMessage() + ")",
                    false);
            } catch (OutOfMemoryError e) {
                found = null; // what it held is given back first
                throw new Fetch.Failure("The applet's archive " + url + " unpacks to more than its memory holds",
                    false);
            }
            archives.add(found);
        }

        private byte[] archiveEntry(String path) {
            for (Map<String, byte[]> archive : archives) {
                byte[] bytes = archive.get(path);
                if (bytes != null)
                    return bytes;
            }
            return null;
        }

        @Override
        protected Class<?> findClass(String name) throws ClassNotFoundException {
            String path = name.replace('.', '/') + ".class";
            byte[] bytes = archiveEntry(path);
            if (bytes == null) {
                try {
                    bytes = Fetch.fetch(new URL(base, path), Fetch.MOST_FILE_BYTES);
                } catch (Fetch.Failure | MalformedURLException e) {
                    throw new ClassNotFoundException(name, e);
                }
            }
            return defineClass(name, bytes, 0, bytes.length, source);
        }

        @Override
        protected PermissionCollection getPermissions(CodeSource codeSource) {
            return new Permissions();
        }

        // An archive's entry by a URL of its own; a file of the code base by
        // its address, where the server has it (fetched through the checks
        // above: the applet opens that address itself afterwards).
        @Override
        protected URL findResource(String name) {
            if (archiveEntry(name) != null) {
                return AccessController.doPrivileged((java.security.PrivilegedAction<URL>) () -> {
                    try {
                        return new URL("ostrel-archive", "", -1, "/" + name, entries);
                    } catch (MalformedURLException e) {
                        return null;
                    }
                });
            }
            try {
                URL url = new URL(base, name);
                return Fetch.get(url, Fetch.MOST_FILE_BYTES) != null ? url : null;
            } catch (IOException e) {
                return null;
            }
        }

        @Override
        protected Enumeration<URL> findResources(String name) {
            URL url = findResource(name);
            return Collections.enumeration(url != null ? List.of(url) : List.<URL>of());
        }

        @Override
        public InputStream getResourceAsStream(String name) {
            InputStream system = getParent().getResourceAsStream(name);
            if (system != null)
                return system;
            byte[] bytes = archiveEntry(name);
            if (bytes == null) {
                try {
                    bytes = Fetch.get(new URL(base, name), Fetch.MOST_FILE_BYTES);
                } catch (IOException e) {
                    return null;
                }
            }
            return bytes != null ? new java.io.ByteArrayInputStream(bytes) : null;
        }
    }

    // The security manager, where the Java still has one; false where not.
    private static boolean installSecurity() {
        if (Runtime.version().feature() > 23)
            return false;
        final ProtectionDomain hostDomain = AppletHost.class.getProtectionDomain();
        final Permissions allowed = new Permissions();
        allowed.add(new SocketPermission(codeBase.getHost() + ":" + port(codeBase), "connect,resolve"));
        for (String key : HARMLESS_PROPERTIES)
            allowed.add(new PropertyPermission(key, "read"));
        allowed.setReadOnly();
        Policy.setPolicy(new Policy() {
            @Override
            public boolean implies(ProtectionDomain domain, java.security.Permission permission) {
                if (domain == hostDomain || isSystem(domain))
                    return true;
                return allowed.implies(permission);
            }

            @Override
            public PermissionCollection getPermissions(ProtectionDomain domain) {
                Permissions permissions = new Permissions();
                if (domain == hostDomain || isSystem(domain)) {
                    permissions.add(new AllPermission());
                } else {
                    for (Enumeration<java.security.Permission> e = allowed.elements(); e.hasMoreElements();)
                        permissions.add(e.nextElement());
                }
                return permissions;
            }

            private boolean isSystem(ProtectionDomain domain) {
                CodeSource source = domain.getCodeSource();
                return domain.getClassLoader() == null
                    || (source != null && source.getLocation() != null
                        && "jrt".equals(source.getLocation().getProtocol()));
            }
        });
        try {
            System.setSecurityManager(new SecurityManager());
            return true;
        } catch (UnsupportedOperationException e) {
            return false; // started without -Djava.security.manager=allow
        }
    }

    // -- What the applet sees of its page ------------------------------------

    static final class Stub implements AppletStub, AppletContext {
        volatile boolean active;

        public boolean isActive() { return active; }
        public URL getDocumentBase() { return documentBase; }
        public URL getCodeBase() { return codeBase; }
        public String getParameter(String key) {
            return key == null ? null : parameters.get(key.toLowerCase(Locale.ROOT));
        }
        public AppletContext getAppletContext() { return this; }
        public void appletResize(int w, int h) {
            // the box keeps the page's size
        }

        public AudioClip getAudioClip(URL url) {
            return new AudioClip() {
                public void play() {}
                public void loop() {}
                public void stop() {}
            };
        }
        public Image getImage(URL url) { return Toolkit.getDefaultToolkit().createImage(url); }
        public java.applet.Applet getApplet(String key) {
            return key != null && key.equals(name) ? applet : null;
        }
        public Enumeration<java.applet.Applet> getApplets() {
            return Collections.enumeration(applet != null ? List.of(applet) : List.<Applet>of());
        }
        public void showDocument(URL url) {
            // a camera's applet may not open the user's browser
        }
        public void showDocument(URL url, String target) {}
        public void showStatus(String status) { say("tip", status == null ? "" : status); }
        public void setStream(String key, InputStream stream) {}
        public InputStream getStream(String key) { return null; }
        public Iterator<String> getStreamKeys() { return Collections.<String>emptyIterator(); }
    }
}
