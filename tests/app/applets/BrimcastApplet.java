import java.applet.Applet;
import java.awt.Color;
import java.awt.Graphics;
import java.awt.event.KeyAdapter;
import java.awt.event.KeyEvent;
import java.awt.event.MouseAdapter;
import java.awt.event.MouseEvent;

// Another maker's camera applet under the name the viewer's page asks for:
// it paints its box green, one white square per click along the top and one
// yellow square per key typed below them, so a test can see on the screen
// what reached it.
public class BrimcastApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private int clicks;
    private int keys;

    @Override
    public void init() {
        addMouseListener(new MouseAdapter() {
            @Override
            public void mouseClicked(MouseEvent e) {
                ++clicks;
                repaint();
            }
        });
        addKeyListener(new KeyAdapter() {
            @Override
            public void keyTyped(KeyEvent e) {
                ++keys;
                repaint();
            }
        });
    }

    @Override
    public void paint(Graphics g) {
        g.setColor(new Color(0x20, 0xa0, 0x40));
        g.fillRect(0, 0, getWidth(), getHeight());
        g.setColor(Color.white);
        for (int i = 0; i < clicks; ++i)
            g.fillRect(4 + i * 12, 4, 8, 8);
        g.setColor(Color.yellow);
        for (int i = 0; i < keys; ++i)
            g.fillRect(4 + i * 12, 20, 8, 8);
    }
}
