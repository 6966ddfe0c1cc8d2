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
//                 tip TEXT                  the applet's showStatus
//                 started
// The end of the standard input (Ostrel gone) ends the host.
//
// Pictures go through a shared file of WIDTH x HEIGHT x 4 bytes (0xAARRGGBB
// words in the machine's order); a new one is written only once Ostrel has
// taken the last one.
//
// The applet's code runs under a security manager that grants it what an
// unsigned applet had: a connection to its code base's host and port, the
// harmless system properties, threads and painting. The host's own classes
// are trusted.

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
import java.net.URLClassLoader;
import java.net.URLConnection;
import java.nio.ByteOrder;
import java.nio.IntBuffer;
import java.nio.MappedByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.security.AllPermission;
import java.security.CodeSource;
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

public final class AppletHost {
    private static final int CAPTURE_INTERVAL_MS = 40;
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
    private static volatile String relayError; // why the relay last could not connect

    private static Applet applet;
    private static Frame frame;
    private static IntBuffer frames;
    private static BufferedImage picture;
    private static volatile boolean taken = true;  // Ostrel has the last frame
    private static volatile boolean dirty = true;  // the applet has painted since
    private static long frameNumber;

    public static void main(String[] args) throws Exception {
        // Only this stream talks to Ostrel; the applet's prints go to the error stream.
        out = new PrintStream(new java.io.FileOutputStream(java.io.FileDescriptor.out), true, "UTF-8");
        System.setOut(System.err);
        if (!readArguments(args)) {
            say("status", "The applet's page could not be read (" + String.join(" ", args) + ")");
            return;
        }
        Runtime.Version version = Runtime.version();
        if (version.feature() < 17 || version.feature() > 23) {
            say("status", "This camera's picture needs Java 17 to 23 to run its applet (found Java "
                + version.feature() + ")");
            holdUntilQuit();
            return;
        }
        openFrameFile();
        if (relayPath != null)
            startRelay();
        AppletClassLoader loader = new AppletClassLoader(classPath(), AppletHost.class.getClassLoader());
        installSecurity(loader);
        Thread commands = new Thread(AppletHost::readCommands, "AppletHost-commands");
        commands.setDaemon(true);
        commands.start();
        EventQueue.invokeAndWait(() -> start(loader));
        watchPainting();
    }

    // The command line: --code C --codebase URL --document URL --archive A
    // --width W --height H --name N --frames PATH, then --param NAME VALUE...
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

    private static URL[] classPath() throws MalformedURLException {
        List<URL> urls = new ArrayList<>();
        for (String a : archives)
            urls.add(new URL(codeBase, a));
        urls.add(codeBase);
        return urls.toArray(new URL[0]);
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

    private static void start(AppletClassLoader loader) {
        String className = className(code);
        Class<?> type;
        try {
            type = loader.loadClass(className);
        } catch (ClassNotFoundException | LinkageError e) {
            say("status", notFound(className, e));
            return;
        }
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
        Toolkit.getDefaultToolkit().addAWTEventListener(event -> dirty = true, AWTEvent.PAINT_EVENT_MASK);
        try {
            applet.init();
            applet.validate();
            stub.active = true;
            applet.start();
        } catch (Throwable e) {
            say("status", failure("starting", e));
            return;
        }
        say("started", "");
    }

    private static String notFound(String className, Throwable e) {
        String path = className.replace('.', '/') + ".class";
        String address = path;
        try {
            URL url = new URL(codeBase, path);
            address = url.toString();
            URLConnection connection = url.openConnection();
            if (connection instanceof HttpURLConnection) {
                HttpURLConnection http = (HttpURLConnection) connection;
                http.setConnectTimeout(5000);
                http.setReadTimeout(5000);
                http.setRequestMethod("HEAD");
                return "The applet " + address + " was not found (HTTP " + http.getResponseCode() + " "
                    + http.getResponseMessage() + ")";
            }
        } catch (java.net.ConnectException x) {
            return "Cannot reach " + codeBase.getHost() + ":" + port(codeBase) + ": connection refused";
        } catch (java.net.UnknownHostException x) {
            return "Cannot reach " + codeBase.getHost() + ": unknown host";
        } catch (IOException x) {
            String reason = relayError != null ? relayError : x.getMessage();
            return "Cannot reach " + codeBase.getHost() + ":" + port(codeBase) + ": " + reason;
        }
        return "The applet " + address + " could not be loaded (" + e + ")";
    }

    private static int port(URL url) {
        return url.getPort() >= 0 ? url.getPort() : url.getDefaultPort();
    }

    private static String failure(String when, Throwable e) {
        String message = e.getMessage();
        return "The applet failed while " + when + ": " + e.getClass().getName()
            + (message != null ? ": " + message : "");
    }

    // Copies the applet's picture to Ostrel after it paints, and on a timer
    // (a paint may finish after its event, as images arrive).
    private static void watchPainting() throws Exception {
        long lastCapture = 0;
        for (;;) {
            Thread.sleep(5);
            long now = System.currentTimeMillis();
            if (applet == null || !taken)
                continue;
            if (!dirty && now - lastCapture < CAPTURE_INTERVAL_MS)
                continue;
            dirty = false;
            lastCapture = now;
            EventQueue.invokeAndWait(AppletHost::capture);
        }
    }

    private static void capture() {
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
                case "ack": taken = true; break;
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

    private static void quit() {
        // The applet's stop and destroy get a moment; then the host ends, whatever they do.
        Thread ender = new Thread(() -> {
            try {
                Thread.sleep(1000);
            } catch (InterruptedException e) {
                // ending anyway
            }
            Runtime.getRuntime().halt(0);
        }, "AppletHost-end");
        ender.setDaemon(true);
        ender.start();
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
        } catch (Exception e) {
            // ending anyway
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
        out.println(text.isEmpty() ? what : what + " " + text.replace('\n', ' '));
    }

    // -- The sandbox ---------------------------------------------------------

    // In an OS sandbox the host has no network of its own: connections to the
    // code base's host and port are taken here, on the sandbox's loopback,
    // and carried through a socket that Ostrel relays to that one address.
    // A host name is made to mean the loopback for this process alone.
    private static void startRelay() throws IOException {
        String host = codeBase.getHost();
        java.net.InetAddress loopback;
        if (host.matches("127(\\.\\d{1,3}){3}")) {
            loopback = java.net.InetAddress.getByName(host);
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
    // share one lock, and a waiting read would hold up every write.
    private static void carry(java.net.Socket inside, java.nio.channels.SocketChannel outside) {
        Runnable close = () -> {
            try {
                inside.close();
                outside.close();
            } catch (IOException e) {
                // closed anyway
            }
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
            } catch (IOException e) {
                // one side is gone
            }
            close.run();
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
            } catch (IOException e) {
                // one side is gone
            }
            close.run();
        }, "AppletHost-relay-down");
        up.setDaemon(true);
        down.setDaemon(true);
        up.start();
        down.start();
    }

    // Loads the applet's classes from its archives and code base. It grants
    // nothing by itself: the policy alone decides what the classes may do.
    static final class AppletClassLoader extends URLClassLoader {
        AppletClassLoader(URL[] urls, ClassLoader parent) {
            super(urls, parent);
        }

        @Override
        protected PermissionCollection getPermissions(CodeSource source) {
            return new Permissions();
        }
    }

    private static void installSecurity(AppletClassLoader loader) {
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
        System.setSecurityManager(new SecurityManager());
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
