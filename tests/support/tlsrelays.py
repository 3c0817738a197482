# tlsrelays.py CERTIFICATES LOGS PASSWORD: the relays that with-tls-relays.sh describes, each a
# real aiosmtpd, until it is stopped. Each writes the commands it received, one a line, to
# LOGS/HOST_PORT.log; of a login it writes the mechanism alone.
import asyncio, pathlib, ssl, sys
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

certificates, logs, password = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), sys.argv[3].encode()


class Sink:
    async def handle_DATA(self, server, session, envelope):
        return '250 2.0.0 queued'


def authenticate(server, session, envelope, mechanism, auth_data):
    # Not handled: aiosmtpd then answers a failed login itself, with 535.
    return AuthResult(success=isinstance(auth_data, LoginPassword) and auth_data.login == b'ops'
                      and auth_data.password == password, handled=False)


def context(host, old=False):
    served = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    served.load_cert_chain(certificates / f'{host}.pem', certificates / f'{host}.key')
    if old:  # TLS 1.0 alone, as relays of its day spoke it
        served.set_ciphers('DEFAULT:@SECLEVEL=0')
        served.minimum_version = served.maximum_version = ssl.TLSVersion.TLSv1
    return served


class Recording(SMTP):
    def __init__(self, handler, log, **settings):
        super().__init__(handler, **settings)
        for name, method in list(self._smtp_methods.items()):
            self._smtp_methods[name] = self.recorded(name, method, log)

    @staticmethod
    def recorded(name, method, log):
        async def record(argument):
            said = argument.split()[0] if name == 'AUTH' and argument else argument
            with open(log, 'a') as lines:
                lines.write(f'{name} {said or ""}'.strip() + '\n')
            return await method(argument)
        return record


class Relay(Controller):
    def __init__(self, host, port, tls='starttls', **settings):
        self.log = logs / f'{host}_{port}.log'
        if tls == 'starttls':
            settings.update(tls_context=context(host), require_starttls=True)
        if tls == 'old':
            settings.update(tls_context=context(host, old=True))
        super().__init__(Sink(), hostname=host, port=port, ssl_context=context(host) if tls == 'implicit' else None,
                         authenticator=authenticate, **settings)

    def factory(self):
        return Recording(self.handler, self.log, **self.SMTP_kwargs)


relays = [Relay('127.0.0.20', 25),                                     # port 25, STARTTLS offered
          Relay('127.0.0.20', 587),                                    # STARTTLS, then PLAIN and LOGIN
          Relay('127.0.0.21', 587, auth_exclude_mechanism=['PLAIN']),  # LOGIN only
          Relay('127.0.0.20', 465, tls='implicit', auth_require_tls=False),
          Relay('127.0.0.22', 587),                                    # a certificate nobody trusts
          Relay('127.0.0.23', 587, tls=None),                          # no STARTTLS
          Relay('127.0.0.24', 25, tls='old')]                          # STARTTLS to TLS 1.0 alone
for relay in relays:
    relay.start()
print('ready', flush=True)
asyncio.new_event_loop().run_forever()
