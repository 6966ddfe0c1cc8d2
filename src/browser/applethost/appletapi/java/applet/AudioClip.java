package java.applet;

/** A sound an applet can play, loop and stop. */
public interface AudioClip {
    void play();
    void loop();
    void stop();
}
