// A plain host for the camera's applet, as a browser's applet runtime would
// be: a Frame holding the applet, its parameters from the command line. It
// runs the applet until it has shown some frames (or for a while), prints
// what it saw, writes the applet's picture to a PNG file, then stops the
// applet and reports whether its threads ended.
//   AppletTestHost HOST PORT WIDTH HEIGHT OUT.png FRAMES TIMEOUT_MS

import java.applet.AppletContext;
import java.applet.AppletStub;
import java.awt.Frame;
import java.awt.Graphics;
import java.awt.image.BufferedImage;
import java.io.File;
import java.net.URL;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;
import javax.imageio.ImageIO;

public class AppletTestHost {
    public static void main(String[] args) throws Exception {
        final String host = args[0];
        final String port = args[1];
        int width = Integer.parseInt(args[2]);
        int height = Integer.parseInt(args[3]);
        File out = new File(args[4]);
        int frames = Integer.parseInt(args[5]);
        long timeout = Long.parseLong(args[6]);

        final Map<String, String> parameters = new HashMap<>();
        parameters.put("host", host);
        parameters.put("port", port);
        final URL base = new URL("http://" + host + ":" + port + "/");
        BrimcastApplet applet = new BrimcastApplet();
        applet.setStub(new AppletStub() {
            public boolean isActive() { return true; }
            public URL getDocumentBase() { return base; }
            public URL getCodeBase() { return base; }
            // Parameter names are matched without regard to case, as in a page.
            public String getParameter(String name) { return parameters.get(name.toLowerCase(Locale.ROOT)); }
            public AppletContext getAppletContext() { return null; }
            public void appletResize(int w, int h) {}
        });
        Frame frame = new Frame("Applet test host");
        frame.setLayout(null);
        frame.setSize(width + 40, height + 60);
        applet.setBounds(10, 30, width, height);
        frame.add(applet);
        frame.setVisible(true);
        applet.init();
        applet.start();

        long end = System.currentTimeMillis() + timeout;
        while (System.currentTimeMillis() < end && (frames == 0 || applet.getFramesShown() < frames))
            Thread.sleep(50);
        System.out.println("frames " + applet.getFramesShown());
        System.out.println("status " + applet.getStatusText());
        BufferedImage picture = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        Graphics g = picture.getGraphics();
        applet.paint(g);
        g.dispose();
        ImageIO.write(picture, "png", out);

        applet.stop();
        applet.destroy();
        boolean alive = false;
        for (Thread thread : Thread.getAllStackTraces().keySet())
            alive |= thread.getName().equals("BrimcastApplet-stream") && thread.isAlive();
        System.out.println(alive ? "still running" : "stopped");
        System.out.flush();
        frame.dispose();
        System.exit(0);
    }
}
